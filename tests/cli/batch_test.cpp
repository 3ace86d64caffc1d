// The file batch: expansion of one file argument, the HTML filter, the
// question about other files, and the entry point's order of work.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/entry.h"
#include "cli/report.h"
#include "support/test_support.h"
#include "workfiles/work_files.h"

namespace zorbel {
namespace {

using Paths = std::vector<std::string>;

// A step that records the paths it is given instead of processing them.
struct Recorder {
    Paths paths;
    FileStep step() {
        return [this](Invocation&, const std::string& path) { paths.push_back(path); };
    }
};

void touch(const test::ScratchDir& dir, const Paths& names) {
    for (const auto& name : names) test::write_file(dir.file(name), "<p>x</p>\n");
}

TEST(HtmlFilter, ExtensionsThatPassWithoutAsking) {
    const struct { const char* path; int html; } cases[] = {
        {"a.htm", 1}, {"a.HTM", 1}, {"a.html", 1}, {"a.Html", 1}, {"a.htmx", 1},
        {"dir/a.b.htm", 1}, {".htm", 1},
        {"a.htm.bak", 0},           // the last '.' decides
        {"a.ht", 0}, {"a.txt", 0}, {"htm", 0}, {"noext", 0},
        {"a.b~k", 0}, {"AAAAAAA~.Z~B", 0},
        {"web.htm/index", 0},       // a '.' in a directory is no extension
        {"a.xhtml", 0},
    };
    for (const auto& c : cases) {
        StringConsole console;
        Invocation run(console);
        EXPECT_EQ(accept_html_name(run, c.path), c.html) << c.path;
        const std::string notice = std::string("Skipped non-html file \"") + c.path + "\"\n";
        EXPECT_EQ(console.err_text, c.html ? "" : notice) << c.path;
    }
}

// With -h, each non-HTML file gets the question; one key answers it, and
// only y or Y accepts. Nothing follows the answer on the console.
TEST(HtmlFilter, QuestionTakesOneKey) {
    const struct { const char* what; std::string keys; int answer; } cases[] = {
        {"y", "y", 1}, {"Y", "Y", 1},
        {"n", "n", 0}, {"Enter", "\n", 0}, {"Escape", "\x1b", 0},
        {"another letter", "j", 0}, {"a high byte", "\xf9", 0},
        {"end of input", "", 0},
    };
    for (const auto& c : cases) {
        StringConsole console;
        // A key typed ahead must be left for the next question.
        console.input = c.keys.empty() ? "" : c.keys + "y";
        Invocation run(console);
        run.settings.options.ask_non_html = 1;
        EXPECT_EQ(accept_html_name(run, "notes.txt"), c.answer) << c.what;
        EXPECT_EQ(console.err_text, "Process non-html file \"notes.txt\" (Y/)? ") << c.what;
        EXPECT_EQ(console.input_pos, c.keys.size()) << c.what;
    }
}

TEST(HtmlFilter, AskKeyUpperCasesLettersOnly) {
    const struct { int key; int result; } cases[] = {
        {'a', 'A'}, {'y', 'Y'}, {'z', 'Z'}, {'Y', 'Y'}, {'{', '{'}, {'`', '`'}, {'1', '1'}, {0xFD, 0xFD},
    };
    for (const auto& c : cases) {
        StringConsole console;
        console.input = std::string(1, static_cast<char>(c.key));
        EXPECT_EQ(ask_key(console), c.result) << c.key;
    }
    StringConsole empty;
    EXPECT_EQ(ask_key(empty), 0);
}

TEST(Batch, MatchesInByteOrderAndNoticesForOthers) {
    test::ScratchDir dir;
    touch(dir, {"b.htm", "a.HTML", "c.txt", "d.htmx", "e.htm.bak", "noext", "A.htm", ".hidden.htm"});
    StringConsole console;
    Invocation run(console);
    Recorder seen;
    const std::string p = dir.path() + "/";
    process_pattern(run, p + "*", seen.step());
    EXPECT_EQ(seen.paths, (Paths{p + "A.htm", p + "a.HTML", p + "b.htm", p + "d.htmx"}));
    EXPECT_EQ(console.err_text, "Skipped non-html file \"" + p + "c.txt\"\n"
                                "Skipped non-html file \"" + p + "e.htm.bak\"\n"
                                "Skipped non-html file \"" + p + "noext\"\n");
}

TEST(Batch, QuestionsComeInSearchOrder) {
    test::ScratchDir dir;
    touch(dir, {"c.txt", "a.txt", "b.htm", "d.txt"});
    StringConsole console;
    console.input = "nYy";
    Invocation run(console);
    run.settings.options.ask_non_html = 1;
    Recorder seen;
    const std::string p = dir.path() + "/";
    process_pattern(run, p + "*", seen.step());
    EXPECT_EQ(seen.paths, (Paths{p + "b.htm", p + "c.txt", p + "d.txt"}));
    EXPECT_EQ(console.err_text, "Process non-html file \"" + p + "a.txt\" (Y/)? "
                                "Process non-html file \"" + p + "c.txt\" (Y/)? "
                                "Process non-html file \"" + p + "d.txt\" (Y/)? ");
}

TEST(Batch, NothingMatchedIsReportedAndTheRunGoesOn) {
    test::ScratchDir dir;
    touch(dir, {".hidden.htm", "a.txt"});
    std::filesystem::create_directory(dir.file("sub.htm"));
    const std::string p = dir.path() + "/";
    const char* patterns[] = {"nothing*.htm", "sub.htm", "missing/a.htm", ".hidden.htm", "a.txt?", "", "sub.htm/"};
    for (const char* pattern : patterns) {
        StringConsole console;
        Invocation run(console);
        Recorder seen;
        process_pattern(run, p + pattern, seen.step());
        EXPECT_TRUE(seen.paths.empty()) << pattern;
        EXPECT_EQ(console.err_text, "no " + p + pattern + "\n") << pattern;
    }
}

TEST(Batch, BackupFilesAreNeverProcessed) {
    const struct { const char* path; bool backup; } cases[] = {
        {"a.b~k", true}, {"dir/a.b~k", true}, {"x.htm.b~k", true}, {".b~k", true},
        {"a.B~K", false},            // a different file, whose backup is a.b~k
        {"a.b~k.htm", false}, {"a.b~kk", false}, {"a.b~k/x.htm", false}, {"ab~k", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_backup_file(c.path), c.backup) << c.path;

    test::ScratchDir dir;
    test::write_file(dir.file("page.b~k"), "  old  \n\n");
    StringConsole console;
    Invocation run(console);
    process_file(run, dir.file("page.b~k"));
    EXPECT_EQ(console.err_text, "Skipped backup file \"" + dir.file("page.b~k") + "\"\n");
    EXPECT_EQ(test::read_file(dir.file("page.b~k")), "  old  \n\n");
    EXPECT_EQ(test::list_dir(dir.path()), Paths{"page.b~k"});
}

// Whole command lines: options are read before the first file, file
// arguments are expanded in the order given, and a fatal exit stops the rest.
TEST(EntryPoint, RunsFileArgumentsInOrder) {
    test::ScratchDir dir;
    touch(dir, {"a.htm", "b.htm"});
    const std::string a = dir.file("a.htm"), b = dir.file("b.htm");
    const std::string nothing = dir.file("zz*.htm");
    // Absolute paths begin with '/', so they must come after the marker.
    std::vector<const char*> argv = {"zorbel", "-c-", "--", b.c_str(), nothing.c_str(), a.c_str(), b.c_str()};
    StringConsole console;
    Paths seen;
    std::vector<int> cute;
    int status = run_command_line(static_cast<int>(argv.size()), argv.data(), console,
                                  [&](Invocation& run, const std::string& path) {
                                      seen.push_back(path);
                                      cute.push_back(run.settings.options.cute_quotes);
                                  });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(seen, (Paths{b, a, b}));
    EXPECT_EQ(cute, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(console.err_text, "no " + nothing + "\n");
    EXPECT_EQ(console.out_text, "");
}

TEST(EntryPoint, FatalExitsStopTheBatch) {
    test::ScratchDir dir;
    touch(dir, {"a.htm", "b.htm"});
    const std::string pattern = dir.file("*.htm");
    std::vector<const char*> argv = {"zorbel", "--", pattern.c_str()};
    const struct { const char* what; std::function<void(Invocation&)> fail; int status; std::string err; } cases[] = {
        {"a fatal report", [](Invocation& r) { report(r.console, Error{ErrorKind::kNoWorkFileName, "", ""}); }, 1,
         "Ran out of temp names!?\n (press enter)"},
        {"a file that cannot be opened", [](Invocation& r) { report(r.console, Error{ErrorKind::kCannotOpen, "a.htm", "r"}); }, 3,
         "couldn't open a.htm for r."},
        {"memory running out", [](Invocation&) { throw std::bad_alloc(); }, 7, "ran out of memory."},
    };
    for (const auto& c : cases) {
        StringConsole console;
        int steps = 0;
        int status = run_command_line(3, argv.data(), console, [&](Invocation& run, const std::string&) {
            ++steps;
            c.fail(run);
        });
        EXPECT_EQ(status, c.status) << c.what;
        EXPECT_EQ(steps, 1) << c.what;
        EXPECT_EQ(console.err_text, c.err) << c.what;
    }
}

}  // namespace
}  // namespace zorbel
