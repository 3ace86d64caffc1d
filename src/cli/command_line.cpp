#include "cli/command_line.h"

#include <cstdint>
#include <limits>

#include "cli/report.h"

namespace zorbel {

namespace {

// The option character starts as '-' and becomes '/' for the rest of the
// command line once any argument begins with '/'. Both passes track it, and
// the end-of-options marker, the same way.
struct OptionScan {
    char option_char = '-';
    bool options_ended = false;

    // Updates the option character for arg; true when arg is an option.
    bool is_option(std::string_view arg) {
        if (!arg.empty() && arg[0] == '/') option_char = '/';
        return !options_ended && !arg.empty() && arg[0] == option_char;
    }
};

// The character at index i, or the terminator past the end.
char char_at(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

bool is_white_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Applies one option argument (option character, letter, rest).
void apply_option(Invocation& run, std::string_view arg, OptionScan& scan) {
    Options& o = run.settings.options;
    const char letter = char_at(arg, 1);
    switch (letter) {
        case '\0': return;  // the option character alone: neither option nor file
        case '-': scan.options_ended = true; return;
        case 'c': o.cute_quotes = option_switch(arg); return;
        case 'd': {
            std::string_view name = arg.substr(2);
            o.debug_map_name = std::string(name.empty() ? std::string_view(kDefaultDebugMapName) : name);
            return;
        }
        case 'e': o.collapse_crlf = option_switch(arg); return;
        case 'f': o.dump_editor_junk = option_switch(arg); return;
        case 'h': o.ask_non_html = option_switch(arg); return;
        case 'i': o.strip_indent = option_switch(arg); return;
        case 'k': o.keep_temps = option_switch(arg); return;
        case 'n': o.nbsp_to_space = option_switch(arg); return;
        case 'p': o.reset_quotes_at_para = option_switch(arg); return;
        case 't': o.strip_trailing = option_switch(arg); return;
        case 'u': o.strip_empty_lines = option_switch(arg); return;
        case 'w': o.wrap_margin = parse_margin(arg.substr(2)); return;
        case 'x': o.fix_webx = option_switch(arg); return;
        case 'y': o.datetime_stamps = option_switch(arg); return;
        default: show_usage(run);
    }
}

}  // namespace

int option_switch(std::string_view arg) { return char_at(arg, 2) == '-' ? 0 : 1; }

std::int32_t parse_margin(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_white_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // The magnitude stops growing one past the largest negative value, so a
    // long run of digits cannot overflow; the sign then picks the limit.
    constexpr std::int64_t kCap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kCap) magnitude = kCap;
    }
    if (negative) return static_cast<std::int32_t>(-magnitude);
    if (magnitude == kCap) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(magnitude);
}

std::string usage_text(std::int32_t wrap_margin) {
    return format_message(
        "zorbel [options] [AFN [AFN...]  (Aug 19 2014)\n"
        "-c- don't make quotes cute, change &nbsp; to space for Komposer. Also\n"
        "%s text %s suppresses temporarily?\n"
        "-n- don't change &nbsp; to space for Komposer.\n"
        "-p- if cute quotes, don't reset them at paragraphs, and if unbalanced quotes,\n"
        "  make error.\n"
        "-dFilename Emit a debug file with map of double quotes if quote error. If no\n"
        "  name, use %s (incidentally, use two single quotes for inches).\n"
        "  Don't remove trailing spaces.\n"
        "-h ASK for non-html file; otherwise just skip it without asking.\n"
        "-k keep temps\n"
        "-i- don't remove leading space indents.\n"
        "-t- don't remove trailing spaces or empty lines.\n"
        "-u- don't remove empty lines.\n"
        "-w%u   wrap margin (default)\n"
        "-- ops finished, so you can use a file with stupid -name\n"
        "If %s, don't wrap until <P>. And fix webx <A> problem.\n"
        "-x- Don't fix webx problems.    -f- don't dump disruptive-innovations junk\n"
        "-e Remove some extra CRLFs.\n"
        "-y- Don't date/time like %sxxx%s\n"
        "    (it's a kluje; no \"<\"s allowed in \"xxx\"!)\n"
        "(w32)\n",
        "<!-- $ZBL$:UNCURLY -->", "<!-- $ZBL$:CURLY -->", kDefaultDebugMapName,
        static_cast<unsigned>(static_cast<std::uint32_t>(wrap_margin)), "<!-- ZBLDONTWRAP -->",
        "<!-- $ZBL$:DATETIME -->", "<!-- $ZBL$:CLOSE -->");
}

void show_usage(Invocation& run) {
    run.console.out(usage_text(run.settings.options.wrap_margin));
    throw FatalExit{kExitUsage};
}

void read_options(Invocation& run, const Arguments& args) {
    OptionScan scan;
    std::size_t file_count = 0;
    for (std::string_view arg : args) {
        const bool option = scan.is_option(arg);
        // A '?' is refused before the marker even in a file argument, so
        // "-?" and "/?" ask for help and a '?' wildcard needs "--" first.
        if (!scan.options_ended && arg.find('?') != std::string_view::npos) show_usage(run);
        if (option) {
            apply_option(run, arg, scan);
        } else {
            ++file_count;
        }
    }
    if (file_count == 0) show_usage(run);
}

void for_each_file_argument(const Arguments& args,
                            const std::function<void(std::string_view)>& each_file) {
    OptionScan scan;
    for (std::string_view arg : args) {
        if (scan.is_option(arg)) {
            if (char_at(arg, 1) == '-') scan.options_ended = true;
        } else {
            each_file(arg);
        }
    }
}

}  // namespace zorbel
