#include "cli/command_help.h"

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "engine/exit_codes.h"

namespace cli {
namespace {

constexpr size_t kWidth = 80;   // a terminal's columns
constexpr size_t kColumn = 24;  // where the text of an option line starts

struct ExitLine {
    int code;
    const char* meaning;
};

struct CommandHelp {
    const char* command;
    std::vector<ExitLine> codes;
    const char* example;
};

constexpr const char* kUsage = "usage error on the command line";

// The codes each command's code can return, and no other: scripts branch on them, and the man
// page lists the same under each command (tests/install/man_options_test.sh compares them).
const std::vector<CommandHelp>& Commands() {
    static const std::vector<CommandHelp> commands = {
        {"compress",
         {{kExitDone, "the image is written"},
          {kExitCancelled,
           "cancelled (Ctrl+C, SIGTERM or SIGHUP): no new file is left, an older IMAGE stays"},
          {kExitFailed,
           "failed: the drive, the diskette, or IMAGE (one that exists needs --force)"},
          {kExitUsage, kUsage}},
         "tavrel-cli compress A: work.tvl"},
        {"expand",
         {{kExitDone, "the diskette is written"},
          {kExitCancelled,
           "cancelled (Ctrl+C, SIGTERM or SIGHUP): the diskette is written in part"},
          {kExitFailed,
           "failed: the drive or the diskette, or IMAGE is no sound image of the diskette's "
           "format"},
          {kExitUsage, kUsage}},
         "tavrel-cli expand work.tvl A:"},
        {"verify",
         {{kExitDone, "the image and the diskette match"},
          {kExitCancelled, "cancelled (Ctrl+C, SIGTERM or SIGHUP)"},
          {kExitFailed, "failed: the drive or the diskette, or IMAGE is no sound image"},
          {kExitDifferent, "they differ: the place of the first difference is printed"},
          {kExitUsage, kUsage}},
         "tavrel-cli verify work.tvl A:"},
        {"info",
         {{kExitDone, "IMAGE is complete and well-formed"},
          {kExitFailed,
           "IMAGE is not sound (the fault is named after the report) or cannot be read, the "
           "map of --bad cannot be read or is of another diskette size, or the picture cannot "
           "be written"},
          {kExitUsage, kUsage}},
         "tavrel-cli info work.tvl --map"},
        {"rescue",
         {{kExitDone, "every sector was read"},
          {kExitCancelled,
           "cancelled (Ctrl+C, SIGTERM or SIGHUP): the image and the map keep what was read, "
           "and the same command goes on from there"},
          {kExitFailed,
           "failed: the drive, the image or the map, or the map names another diskette"},
          {kExitUnreadable,
           "the image is complete, but some sectors could not be read (listed in the map)"},
          {kExitUsage, kUsage}},
         "tavrel-cli rescue A: work.tvl --retries 5"},
        {"convert",
         {{kExitDone, "DST is written"},
          {kExitCancelled, "cancelled (Ctrl+C, SIGTERM or SIGHUP): no new file is left"},
          {kExitFailed,
           "failed: SRC is neither a sound image nor a raw image of a supported diskette, DST "
           "would be of SRC's kind, or DST cannot be written (one that exists needs --force)"},
          {kExitUsage, kUsage}},
         "tavrel-cli convert work.tvl work.img"},
        {"batch",
         {{kExitDone,
           "every diskette was filed (with --rescue also one with unreadable sectors), also "
           "when the first Ctrl+C ended the batch"},
          {kExitCancelled, "--resume: the rescue was cancelled"},
          {kExitFailed,
           "a diskette failed or was cancelled (a second Ctrl+C, a closed terminal), FOLDER "
           "cannot be used or written, --ids has no identifier left for a diskette, or "
           "standard output was closed"},
          {kExitUnreadable,
           "--resume: the image is complete, but some sectors could not be read (see the map)"},
          {kExitUsage,
           "usage error on the command line, a DRIVE that does not exist or is named twice, an "
           "unsafe --name pattern or --resume NAME, or an --ids list that is refused"}},
         "tavrel-cli batch A: B: box-01 --rescue"},
        {"files",
         {{kExitDone, "listed (a diskette without a FAT file system too)"},
          {kExitCancelled, "cancelled (Ctrl+C, SIGTERM or SIGHUP): nothing was listed"},
          {kExitFailed,
           "failed: the image or the map cannot be read; always in the Windows build, "
           "which is without files"},
          {kExitUnreadable, "the listing is complete, but the map has unreadable sectors"},
          {kExitUsage, kUsage}},
         "tavrel-cli files work.tvl --long"},
        {"check",
         {{kExitDone, "every file and every image's content match"},
          {kExitFailed, "FOLDER has no manifest: it is neither a batch folder nor a bag"},
          {kExitDifferent,
           "something differs or is missing: a file, an image's content, a manifest line, or a "
           "bag's tag files or Payload-Oxum (a line for each problem)"},
          {kExitUnfinished,
           "a batch or report stopped while it filed a diskette: nothing else was checked; "
           "tavrel-cli report FOLDER finishes it"},
          {kExitUsage, kUsage}},
         "tavrel-cli check box-01"},
        {"bag",
         {{kExitDone, "FOLDER is a bag (or was one already)"},
          {kExitFailed,
           "failed: FOLDER is no batch folder, a batch is at work in it, a file in it is in no "
           "manifest, or a file cannot be written"},
          {kExitUsage, kUsage}},
         "tavrel-cli bag box-01"},
        {"report",
         {{kExitDone, "report.html and each NAME.svg are written"},
          {kExitFailed, "failed: FOLDER is no batch folder, or a file cannot be written"},
          {kExitUsage, kUsage}},
         "tavrel-cli report box-01"},
        {"drives",
         {{kExitDone, "listed (with --assign: the profile is written)"},
          {kExitFailed, "--assign: the profile cannot be written"},
          {kExitUsage,
           "usage error on the command line; on Windows also --scan (Windows assigns the "
           "letters itself)"}},
         "tavrel-cli drives --scan --assign"},
    };
    return commands;
}

// Every command's codes in one table, for tavrel-cli --help.
const std::vector<ExitLine>& ToolCodes() {
    static const std::vector<ExitLine> codes = {
        {kExitDone,
         "done (batch: every diskette filed, with --rescue also one with unreadable sectors; "
         "check: everything matches)"},
        {kExitCancelled,
         "cancelled (Ctrl+C, SIGTERM or SIGHUP): compress, expand, verify, rescue, convert, files, "
         "batch --resume; a rescue keeps what it read, to go on later"},
        {kExitFailed,
         "failed: the job, the drive or a file failed, or the input is not usable (batch: a "
         "diskette failed or was cancelled; check: FOLDER has no manifest)"},
        {kExitDifferent,
         "verify: the image and the diskette differ; check: something differs or is missing"},
        {kExitUnreadable,
         "rescue, batch --resume: the image is complete, but some sectors could not be read (see "
         "the map); files: the listing is complete, but the map has unreadable sectors"},
        {kExitUnfinished,
         "check: a batch or report stopped while it filed a diskette; tavrel-cli report FOLDER "
         "or any batch on the folder finishes it"},
        {kExitUsage,
         "usage error on the command line (batch: also a DRIVE that does not exist, an unsafe "
         "--name pattern or a refused --ids list)"},
    };
    return codes;
}

// TEXT broken at spaces into lines of at most kWidth columns; every line after the first starts
// INDENT columns in (the first is where the caller left off, at FIRST).
std::string Wrap(const std::string& text, size_t indent, size_t first) {
    std::string out;
    size_t column = first;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (column > indent && column + 1 + word.size() > kWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        start = end + 1;
    }
    return out;
}

// NAME, then TEXT from kColumn on (below NAME when NAME reaches that far).
std::string Entry(const std::string& name, const std::string& text) {
    if (text.empty()) return name + "\n";
    std::string out = name;
    if (out.size() + 1 > kColumn)
        out += "\n" + std::string(kColumn, ' ');
    else
        out += std::string(kColumn - out.size(), ' ');
    return out + Wrap(text, kColumn, kColumn) + "\n";
}

std::string CodeTable(const std::vector<ExitLine>& codes) {
    std::string out = "Exit codes:\n";
    for (const ExitLine& line : codes) {
        std::string code = "  " + std::to_string(line.code);
        code += std::string(6 - code.size(), ' ');
        out += code + Wrap(line.meaning, 6, 6) + "\n";
    }
    return out;
}

class HelpFormatter : public CLI::Formatter {
  public:
    HelpFormatter() {
        label("Positionals", "Arguments");
        label("Subcommands", "Commands");
        label("SUBCOMMAND", "COMMAND");
    }

    std::string make_description(const CLI::App* app) const override {
        const std::string& text = app->get_description();
        return text.empty() ? std::string() : Wrap(text, 0, 0) + "\n\n";
    }

    std::string make_subcommand(const CLI::App* sub) const override {
        return Entry("  " + sub->get_name(), sub->get_description());
    }

    std::string make_option_name(const CLI::Option* opt, bool positional) const override {
        std::string name = CLI::Formatter::make_option_name(opt, positional);
        for (size_t comma = name.find(','); comma != std::string::npos;
             comma = name.find(',', comma + 2))
            name.insert(comma + 1, " ");
        return name;
    }

    std::string make_option(const CLI::Option* opt, bool positional) const override {
        return Entry("  " + make_option_name(opt, positional) + make_option_opts(opt),
                     make_option_desc(opt));
    }

    // A positional is its name alone; an option the name of its value. Validators and
    // requirements speak in the option's text instead.
    std::string make_option_opts(const CLI::Option* opt) const override {
        if (opt->get_positional() || opt->get_type_size() == 0 || opt->get_type_name().empty())
            return {};
        return " " + opt->get_type_name();
    }

    std::string make_option_desc(const CLI::Option* opt) const override {
        std::string text = opt->get_description();
        for (const CLI::Option* other : opt->get_needs())
            text += " (needs " + other->get_name() + ")";
        for (const CLI::Option* other : opt->get_excludes())
            text += " (not with " + other->get_name() + ")";
        return text;
    }

    // A name that says its repetition itself (DRIVE [DRIVE...] FOLDER) gets no "..." after it.
    std::string make_option_usage(const CLI::Option* opt) const override {
        const std::string name = make_option_name(opt, true);
        if (name.find("...") != std::string::npos) return name;
        return CLI::Formatter::make_option_usage(opt);
    }
};

}  // namespace

std::string HelpFooter(const std::string& command) {
    if (command.empty())
        return CodeTable(ToolCodes()) + "\n" +
               Wrap("tavrel-cli COMMAND --help lists the codes that command can end with.", 0, 0);
    for (const CommandHelp& help : Commands())
        if (command == help.command) return CodeTable(help.codes) + "\nExample:\n  " + help.example;
    return {};
}

std::shared_ptr<CLI::Formatter> MakeHelpFormatter() {
    return std::make_shared<HelpFormatter>();
}

}  // namespace cli
