// The command line: which arguments are options, what they set, which are
// file arguments, and when the usage text ends the run.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "support/test_support.h"

namespace zorbel {
namespace {

struct Outcome {
    int status = -1;
    Options options;
    std::vector<std::string> files;  // file arguments, in the order handed on
    std::string out, err;
};

// Both passes over one command line, in process.
Outcome run_line(const std::vector<std::string>& args) {
    Outcome result;
    StringConsole console;
    Invocation run(console);
    Arguments views(args.begin(), args.end());
    try {
        read_options(run, views);
        for_each_file_argument(views, [&](std::string_view a) { result.files.emplace_back(a); });
        result.status = 0;
    } catch (const FatalExit& exit) {
        result.status = exit.status;
    }
    result.options = run.settings.options;
    result.out = console.out_text;
    result.err = console.err_text;
    return result;
}

std::string describe(const std::vector<std::string>& args) {
    std::string line;
    for (const auto& a : args) line += "[" + a + "]";
    return line;
}

void expect_same_options(const Options& got, const Options& want) {
    EXPECT_EQ(got.wrap_margin, want.wrap_margin);
    EXPECT_EQ(got.cute_quotes, want.cute_quotes);
    EXPECT_EQ(got.nbsp_to_space, want.nbsp_to_space);
    EXPECT_EQ(got.reset_quotes_at_para, want.reset_quotes_at_para);
    EXPECT_EQ(got.debug_map_name, want.debug_map_name);
    EXPECT_EQ(got.ask_non_html, want.ask_non_html);
    EXPECT_EQ(got.keep_temps, want.keep_temps);
    EXPECT_EQ(got.strip_indent, want.strip_indent);
    EXPECT_EQ(got.strip_trailing, want.strip_trailing);
    EXPECT_EQ(got.strip_empty_lines, want.strip_empty_lines);
    EXPECT_EQ(got.fix_webx, want.fix_webx);
    EXPECT_EQ(got.dump_editor_junk, want.dump_editor_junk);
    EXPECT_EQ(got.collapse_crlf, want.collapse_crlf);
    EXPECT_EQ(got.datetime_stamps, want.datetime_stamps);
}

std::string usage_with_margin(const std::string& margin) {
    std::string text = test::read_file(test::fixture_path("usage_margin_70.txt"));
    const std::string line = "-w70   wrap margin";
    text.replace(text.find(line), line.size(), "-w" + margin + "   wrap margin");
    return text;
}

TEST(CommandLine, DefaultsHoldWithoutOptions) {
    Outcome got = run_line({"a.htm"});
    EXPECT_EQ(got.status, 0);
    const Options& o = got.options;
    EXPECT_EQ(o.wrap_margin, 70);
    EXPECT_FALSE(o.debug_map_name.has_value());
    for (int on : {o.cute_quotes, o.nbsp_to_space, o.reset_quotes_at_para, o.strip_indent, o.strip_trailing,
                   o.strip_empty_lines, o.fix_webx, o.dump_editor_junk, o.datetime_stamps}) {
        EXPECT_EQ(on, 1);
    }
    for (int off : {o.ask_non_html, o.keep_temps, o.collapse_crlf}) EXPECT_EQ(off, 0);
}

// Every flag letter: alone or followed by anything but '-' it switches the
// flag on; a '-' right after the letter switches it off.
TEST(CommandLine, FlagLettersSwitchOnAndOff) {
    struct Flag { char letter; int Options::*field; };
    const Flag flags[] = {
        {'c', &Options::cute_quotes},        {'e', &Options::collapse_crlf},
        {'f', &Options::dump_editor_junk},   {'h', &Options::ask_non_html},
        {'i', &Options::strip_indent},       {'k', &Options::keep_temps},
        {'n', &Options::nbsp_to_space},      {'p', &Options::reset_quotes_at_para},
        {'t', &Options::strip_trailing},     {'u', &Options::strip_empty_lines},
        {'x', &Options::fix_webx},           {'y', &Options::datetime_stamps},
    };
    const struct { const char* suffix; int value; } forms[] = {
        {"", 1}, {"x", 1}, {"+", 1}, {"-", 0}, {"-x", 0}, {"--", 0},
    };
    for (const Flag& flag : flags) {
        for (const auto& form : forms) {
            // Start from the opposite value so every form shows an effect.
            const std::string opposite = std::string("-") + flag.letter + (form.value ? "-" : "");
            const std::string arg = std::string("-") + flag.letter + form.suffix;
            Outcome got = run_line({opposite, arg, "a.htm"});
            EXPECT_EQ(got.status, 0) << arg;
            EXPECT_EQ(got.options.*flag.field, form.value) << arg;
            EXPECT_EQ(got.files, std::vector<std::string>{"a.htm"}) << arg;
        }
    }
}

TEST(CommandLine, MarginNumbers) {
    const struct { const char* text; std::int32_t margin; } cases[] = {
        {"", 0},                       // -w alone
        {"abc", 0},                    // letters only
        {"60", 60},
        {" 60", 60},                   // "-w 60" passed as one argument
        {"\t\n+7x", 7},                // white space, a plus sign, trailing junk
        {"-5", -5},
        {"-", 0},                      // a sign without digits
        {"- 5", 0},                    // no white space after the sign
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},    // saturates instead of wrapping
        {"99999999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-2147483649", -2147483647 - 1},
        {"-99999999999999999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_margin(c.text), c.margin) << '"' << c.text << '"';
        Outcome got = run_line({std::string("-w") + c.text, "a.htm"});
        EXPECT_EQ(got.options.wrap_margin, c.margin) << '"' << c.text << '"';
    }
}

TEST(CommandLine, OptionsAndFileArguments) {
    struct Case {
        std::vector<std::string> args;
        std::function<void(Options&)> change;
        std::vector<std::string> files;
    };
    const auto none = [](Options&) {};
    const Case cases[] = {
        {{"-d", "a"}, [](Options& o) { o.debug_map_name = "bad~q~"; }, {"a"}},
        {{"-d-", "a"}, [](Options& o) { o.debug_map_name = "-"; }, {"a"}},
        {{"-dmap.txt", "a"}, [](Options& o) { o.debug_map_name = "map.txt"; }, {"a"}},
        // The later of two options wins; options after a file still apply.
        {{"-w10", "a", "-w20"}, [](Options& o) { o.wrap_margin = 20; }, {"a"}},
        {{"a.htm", "-c-"}, [](Options& o) { o.cute_quotes = 0; }, {"a.htm"}},
        // The option character alone is neither option nor file argument.
        {{"-", "a"}, none, {"a"}},
        // After the marker everything is a file argument.
        {{"--", "-name.htm", "-c-"}, none, {"-name.htm", "-c-"}},
        {{"--x", "-k"}, none, {"-k"}},
        {{"--", "a?.htm", "/k"}, none, {"a?.htm", "/k"}},
        {{"--", "--"}, none, {"--"}},
        // '/' becomes the option character for good.
        {{"/c-", "a.htm"}, [](Options& o) { o.cute_quotes = 0; }, {"a.htm"}},
        {{"/c", "-i", "a.htm"}, none, {"-i", "a.htm"}},
        {{"a", "/k", "-k-"}, [](Options& o) { o.keep_temps = 1; }, {"a", "-k-"}},
        {{"/k", "--", "a"}, [](Options& o) { o.keep_temps = 1; }, {"--", "a"}},
        {{"/-", "/x.htm", "-c-"}, none, {"/x.htm", "-c-"}},
        // A path that begins with '/' reads as an option.
        {{"/k.htm", "a"}, [](Options& o) { o.keep_temps = 1; }, {"a"}},
        {{"/dir/a.htm", "a"}, [](Options& o) { o.debug_map_name = "ir/a.htm"; }, {"a"}},
        {{"/web/a.htm", "a"}, [](Options& o) { o.wrap_margin = 0; }, {"a"}},
        {{"--", "/web/a.htm"}, none, {"/web/a.htm"}},
        // An empty argument is a file argument.
        {{""}, none, {""}},
        {{"a", "b", "a"}, none, {"a", "b", "a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.args));
        Outcome got = run_line(c.args);
        EXPECT_EQ(got.status, 0);
        Options want;
        c.change(want);
        expect_same_options(got.options, want);
        EXPECT_EQ(got.files, c.files);
        EXPECT_EQ(got.out, "");
        EXPECT_EQ(got.err, "");
    }
}

// The usage text goes to standard output, byte for byte, with the margin as
// it stands when the text is printed, shown as an unsigned number.
TEST(CommandLine, UsageEndsTheRunWithStatus17) {
    const struct { std::vector<std::string> args; const char* margin; } cases[] = {
        {{}, "70"},
        {{"-c", "-k"}, "70"},              // only options
        {{"-c", "--"}, "70"},              // options and the marker
        {{"-"}, "70"},
        {{"-?"}, "70"},
        {{"/?"}, "70"},
        {{"a?.htm"}, "70"},                // '?' before the marker, even in a file
        {{"a.htm", "-k?"}, "70"},
        {{"--?", "a"}, "70"},              // the '?' is seen before the marker acts
        {{"-C", "x.htm"}, "70"},           // letters are case-sensitive
        {{"-z", "a"}, "70"},
        {{"-1", "a"}, "70"},
        {{"/z.htm"}, "70"},
        {{"//", "a"}, "70"},
        {{"-w40", "-?"}, "40"},
        {{"-w40", "-C", "a"}, "40"},
        {{"-?", "-w40"}, "70"},            // options after the stop never act
        {{"-w-5", "-?"}, "4294967291"},
        {{"-w0", "-?"}, "0"},
        {{"-w99999999999", "-?"}, "2147483647"},
        {{"-w-99999999999", "-?"}, "2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.args));
        Outcome got = run_line(c.args);
        EXPECT_EQ(got.status, 17);
        EXPECT_EQ(got.out, usage_with_margin(c.margin));
        EXPECT_EQ(got.err, "");
        EXPECT_TRUE(got.files.empty());
    }
}

}  // namespace
}  // namespace zorbel
