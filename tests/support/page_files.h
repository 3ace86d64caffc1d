// One fixture for the tests of the passes over page files and of the
// commit: a scratch folder that is the current directory for the whole
// test (work files go there), a console, and an invocation over both. Each
// pass is run as the batch runs it, its progress lines and messages
// reported, so a test reads exactly what a user would see.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "cli/batch.h"
#include "cli/console.h"
#include "cli/invocation.h"
#include "cli/report.h"
#include "pipeline/page_pipeline.h"
#include "platform/byte_io.h"
#include "rewrite/engine_support.h"
#include "support/fs_test_tools.h"
#include "support/test_support.h"

namespace zorbel::test {

// The status with which reporting the page ended the run, or 0.
inline int report_status(Invocation& run, const std::string& path, const PageOutcome& page) {
    return exit_status_of([&] { report_page(run, path, page); });
}

// The line pass over the file as the batch runs it; the exit status.
inline int strip_reported(Invocation& run, const std::string& path, PassResult* result = nullptr) {
    const PassResult pass = run.pipeline.strip_lines(path);
    if (result != nullptr) *result = pass;
    return report_status(run, path, PageOutcome{pass.committed, false, pass.error});
}

// The rewrite pass over the file as the batch runs it; the exit status.
inline int rewrite_reported(Invocation& run, const std::string& path, bool lines_stripped = false) {
    const PassResult pass = run.pipeline.rewrite_file(path, lines_stripped);
    return report_status(run, path, PageOutcome{false, pass.committed, pass.error});
}

// A work file in the current directory holding content, as a pass leaves it.
inline WorkFile filled_work_file(Invocation& run, const std::string& content) {
    Expected<WorkFile> made = run.pipeline.work_files().new_temp_file();
    EXPECT_TRUE(made.ok());
    WorkFile& work = made.value();
    EXPECT_TRUE(
        FileSink(work.file).write_at(0, reinterpret_cast<const unsigned char*>(content.data()), content.size()));
    return std::move(work);
}

// Commits the work file over the file at path, its failure reported as the
// batch reports it; the exit status.
inline int commit_reported(Invocation& run, const std::string& path, WorkFile& work, bool backup_taken) {
    const std::optional<Error> error = run.pipeline.work_files().commit_with_backup(path, work, backup_taken);
    return exit_status_of([&] {
        if (error) report(run.console, *error);
    });
}

class PageFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        here_.emplace(dir.path());
        ASSERT_TRUE(here_->ok());
        run.settings.clock = pinned_time;
    }
    void TearDown() override { here_.reset(); }

    int strip(const std::string& path) { return strip_reported(run, path, &last_pass); }
    int rewrite(const std::string& path, bool lines_stripped = false) {
        return rewrite_reported(run, path, lines_stripped);
    }
    // Commits new content over the file at path, with the work file made in
    // the directory cwd.
    int commit(const std::string& cwd, const std::string& path, const std::string& content, bool backup_taken) {
        InDirectory there(cwd);
        EXPECT_TRUE(there.ok());
        WorkFile work = filled_work_file(run, content);
        return commit_reported(run, path, work, backup_taken);
    }

    ScratchDir dir;
    StringConsole console;
    Invocation run{console};
    PassResult last_pass;  // of the last strip()

private:
    std::optional<InDirectory> here_;
};

}  // namespace zorbel::test
