#include "fmt/options.h"

#include <CLI/CLI.hpp>
#include <limits>
#include <map>

#include "fmt/status.h"

namespace zorbel::fmt {

namespace {

constexpr const char* kName = "zorbel-fmt";

constexpr const char* kDescription =
    "Tidies HTML pages as zorbel does, until they are tidy: a second run changes\n"
    "nothing. Without PATH, or with PATH -, reads standard input and writes the\n"
    "tidied page to standard output. A folder is walked for its pages (names\n"
    "ending in .htm, .html, ... in any case; names that begin with '.' and .b~k\n"
    "backups are passed over). A named file is tidied whatever its name. Each\n"
    "page that changes is replaced, its old content kept as NAME.b~k.";

constexpr const char* kFooter =
    "Exit status: 0 done (or nothing would change), 1 --check found pages that\n"
    "would change, 2 a usage error or a page that could not be tidied.";

void add_options(CLI::App& app, FmtOptions& o, std::string& color) {
    PageOptions& p = o.page;
    app.add_option("PATH", o.paths, "Pages and folders to tidy; - is standard input")->type_name("");

    app.add_flag("--check", o.check, "Write nothing; list the pages that would change,\nexit 1 if any");
    app.add_flag("--diff", o.diff, "Write nothing; print a unified diff of what would change");
    app.add_option("--color", color, "Colour the diff: auto (on a terminal), always, never")
        ->type_name("WHEN")
        ->check(CLI::IsMember({"auto", "always", "never"}));
    app.add_flag("!--no-backup", o.backup, "Keep no .b~k backup of a replaced page");
    app.add_flag("!--once", o.settle, "Tidy each page once, as zorbel does, not until\nanother round would change nothing");
    app.add_flag("--keep-verbatim,!--no-keep-verbatim", p.keep_verbatim,
                 "Keep <pre>, <textarea>, <listing>, <xmp> as written, and quotes\n"
                 "in <code>, <kbd>, <samp>, <tt>, <var> (default: on)");
    app.add_option("-j,--jobs", o.jobs, "Pages tidied at once (default: one per processor)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("--exclude", o.excludes, "Leave out paths that match GLOB (* and ?), whole or\nfrom a folder on; repeatable")
        ->type_name("GLOB")
        ->allow_extra_args(false);

    app.add_option("-w,--margin", p.wrap_margin, "Wrap at the first blank beyond column N (default: 70)")
        ->type_name("N")
        ->check(CLI::Range(0, std::numeric_limits<std::int32_t>::max()));
    app.add_flag("!--no-quotes", p.cute_quotes, "Leave quotes, apostrophes and &nbsp; as they are");
    app.add_flag("!--keep-nbsp", p.nbsp_to_space, "Leave &nbsp; as it is (quotes still become typographic)");
    app.add_flag("!--strict-quotes", p.reset_quotes_at_para,
                 "Carry an open quote across paragraphs; one left open\nat the end is an error");
    app.add_flag("!--keep-indent", p.strip_indent, "Keep the indentation at the start of lines");
    app.add_flag("!--keep-blank-lines", p.strip_empty_lines, "Keep empty lines (trailing blanks still go)");
    app.add_flag("!--keep-trailing", p.strip_trailing, "Keep trailing blanks and empty lines");
    app.add_flag("!--no-anchor-fix", p.fix_webx, "Leave the blank after a link's start tag in no-wrap regions");
    app.add_flag("!--keep-editor-tags", p.dump_editor_junk, "Keep the editor's image placeholder tags");
    app.add_flag("--join-paragraph-breaks", p.collapse_crlf, "Remove extra line breaks after paragraph tags");
    app.add_flag("!--no-stamps", p.datetime_stamps, "Leave the text after DATETIME markers alone");
}

// The usage text: the description, then each option with its value's name
// and what it does, in the order they were added.
std::string help_text(const CLI::App& app) {
    constexpr std::size_t kColumn = 28;
    std::string text = std::string("Usage: ") + kName + " [OPTIONS] [PATH...]\n\n" + kDescription + "\n\nOptions:\n";
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional()) continue;
        std::string names;
        for (const std::string& s : option->get_snames()) names += "-" + s + ", ";
        for (const std::string& l : option->get_lnames()) names += "--" + l + ", ";
        names.resize(names.size() - 2);
        if (option->get_expected_max() != 0) names += "=" + option->get_type_name().substr(0, option->get_type_name().find(':'));
        std::string line = "  " + names;
        line += line.size() + 2 <= kColumn ? std::string(kColumn - line.size(), ' ') : "\n" + std::string(kColumn, ' ');
        for (char c : option->get_description()) {
            line += c;
            if (c == '\n') line += std::string(kColumn, ' ');
        }
        text += line + "\n";
    }
    return text + "\n" + kFooter + "\n";
}

}  // namespace

CommandLine read_command_line(int argc, const char* const* argv) {
    CommandLine result;
    FmtOptions o;
    o.page.keep_verbatim = true;
    std::string color = "auto";

    bool help = false;
    bool version = false;
    CLI::App app(kDescription, kName);
    app.set_help_flag();
    add_options(app, o, color);
    app.add_flag("-h,--help", help, "Show this text and exit");
    app.add_flag("--version", version, "Show the version and exit");
    // A GLOB or PATH that begins with '-' is given after --, or as --exclude=-x.
    app.allow_extras(false);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        while (!what.empty() && what.back() == '\n') what.pop_back();
        for (char& c : what) {
            if (c == '\n') c = ' ';
        }
        result.err = std::string(kName) + ": " + what + "\nTry '" + kName + " --help' for more information.\n";
        result.status = kExitTrouble;
        return result;
    }
    if (help || version) {
        result.out = help ? help_text(app) : std::string(kName) + " " + ZORBEL_VERSION + "\n";
        return result;
    }
    static const std::map<std::string, Color> kColors{
        {"auto", Color::kAuto}, {"always", Color::kAlways}, {"never", Color::kNever}};
    o.color = kColors.at(color);
    result.options = std::move(o);
    return result;
}

}  // namespace zorbel::fmt
