// tavrel-cli: the imaging job for scripts, servers and terminals. Parses the command line and
// hands over to one command; CLI11 reports its parse errors by exception, caught only here.
#include <CLI/CLI.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/drive_scan.h"
#include "cli/shown_argument.h"
#include "cli/startup.h"
#include "engine/exit_codes.h"
#include "engine/fixity.h"
#include "platform/format_message.h"

namespace {

constexpr const char* kDriveHelp =
    "A drive letter (A or A:) from the drive map, or a path to a block device or raw image file";

// A byte in hexadecimal, "00" to "FF", with or without "0x".
int ParseHexByte(const std::string& text) {
    std::string digits =
        text.size() > 2 && (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0)
            ? text.substr(2)
            : text;
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return -1;
    return std::stoi(digits, nullptr, 16);
}

const CLI::Validator kHashList(
    [](const std::string& text) {
        return ParseFixityList(text) ? std::string()
                                     : "not a list of md5, sha1 and sha256: " + text;
    },
    "");

// A whole number of LEAST or more, said so when it is not (CLI11's own checks print their limits
// as floating-point numbers).
CLI::Validator AtLeast(int least) {
    return CLI::Validator(
        [least](std::string& text) {
            int value = 0;
            return CLI::detail::lexical_cast(text, value) && value >= least
                       ? std::string()
                       : "not a whole number of " + std::to_string(least) + " or more: " + text;
        },
        "");
}

// --raw and --tvl, of which one at most: what the output is, whatever its name says.
void AddKindFlags(CLI::App* command, bool* raw, bool* tvl, const std::string& output) {
    CLI::Option* rawFlag = command->add_flag(
        "--raw", *raw, "Write a raw sector image, whatever " + output + "'s name");
    command->add_flag("--tvl", *tvl, "Write a .tvl image, whatever " + output + "'s name")
        ->excludes(rawFlag);
}

cli::OutputKind KindOf(bool raw, bool tvl) {
    return raw ? cli::OutputKind::Raw : tvl ? cli::OutputKind::Tvl : cli::OutputKind::ByName;
}

std::string CommandLine(const std::vector<std::string>& args) {
    std::string line = "tavrel-cli";
    for (size_t i = 1; i < args.size(); ++i) line += " " + args[i];
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = cli::StartUp(argc, argv);
    std::vector<char*> utf8Argv;
    for (const std::string& arg : args) utf8Argv.push_back(const_cast<char*>(arg.c_str()));
    platform::UseUserLanguage();
    CLI::App app{"Tavrel: images whole floppy diskettes to files and back.", "tavrel-cli"};
    app.set_version_flag("--version", std::string("tavrel-cli ") + TAVREL_VERSION);
    app.require_subcommand(1, 1);
    app.formatter(cli::MakeHelpFormatter());  // before the commands: each takes it over
    app.footer(cli::HelpFooter(""));
    bool quiet = false;
    app.add_flag("-q,--quiet", quiet, "Print nothing but errors");

    cli::CompressOptions compress;
    CLI::App* compressCmd =
        app.add_subcommand("compress", "Read every track of a diskette into an image file");
    compressCmd->add_option("DRIVE", compress.drive, kDriveHelp)->required();
    compressCmd
        ->add_option("IMAGE", compress.image,
                     "The image file to write: raw for .img, .ima, .flp, .vfd, .dsk, else .tvl")
        ->required();
    compressCmd->add_flag("--no-compression", compress.noCompression,
                          "Store every track side as it is");
    compressCmd->add_flag(
        "--force", compress.force,
        "Replace an existing IMAGE (the old file stays until the new one is complete)");
    bool compressRaw = false, compressTvl = false;
    AddKindFlags(compressCmd, &compressRaw, &compressTvl, "IMAGE");

    cli::TransferOptions expand;
    CLI::App* expandCmd =
        app.add_subcommand("expand", "Write an image onto a formatted diskette of its format");
    expandCmd->add_option("IMAGE", expand.image, "The image file to read")->required();
    expandCmd->add_option("DRIVE", expand.drive, kDriveHelp)->required();

    cli::TransferOptions verify;
    CLI::App* verifyCmd = app.add_subcommand(
        "verify",
        "Compare an image with a diskette; exit code 3 and the place of the first "
        "difference when they differ");
    verifyCmd->add_option("IMAGE", verify.image, "The image file to compare")->required();
    verifyCmd->add_option("DRIVE", verify.drive, kDriveHelp)->required();

    cli::InfoOptions info;
    CLI::App* infoCmd = app.add_subcommand(
        "info", "Describe an image file and check that it is complete and sound");
    infoCmd->add_option("IMAGE", info.image, "The image file to read")->required();
    infoCmd->add_flag("--map", info.map, "Draw the track sides: cylinders across, heads down");
    infoCmd->add_flag("--json", info.json, "Print one JSON object instead of text");
    infoCmd
        ->add_option("--bad", info.badMap,
                     "A rescue's map of IMAGE: mark the track sides with unreadable sectors "
                     "(! in the map; implies --map)")
        ->type_name("MAPFILE");
    std::string infoHashes;
    infoCmd
        ->add_option("--hash", infoHashes,
                     "Also print these hashes of the diskette content the image decodes to "
                     "(md5, sha1, sha256, comma-separated)")
        ->type_name("LIST")
        ->check(kHashList);
    infoCmd
        ->add_option("--picture", info.picture,
                     "Also draw every sector, read, unreadable or never tried (and its tries), "
                     "into an SVG picture, from the map given with --bad or the one beside IMAGE "
                     "(NAME.map or IMAGE.map); without a map every sector of a complete image "
                     "is read")
        ->type_name("FILE.svg");

    cli::RescueOptions rescue;
    std::string fillByte;
    CLI::App* rescueCmd = app.add_subcommand(
        "rescue",
        "Image a failing diskette anyway: reads retried, unreadable sectors filled in and "
        "listed in a map beside the image; run again to read only what is still missing");
    rescueCmd->add_option("DRIVE", rescue.drive, kDriveHelp)->required();
    rescueCmd
        ->add_option("IMAGE", rescue.image,
                     "The image file to write, or to complete: raw for .img, .ima, .flp, .vfd, "
                     ".dsk (made once the rescue is finished, IMAGE.tvl until then), else .tvl")
        ->required();
    rescueCmd
        ->add_option("--map", rescue.map,
                     "The map of read and unreadable sectors, in GNU ddrescue's mapfile format "
                     "(default IMAGE.map)")
        ->type_name("MAPFILE");
    rescueCmd
        ->add_option("--retries", rescue.retries,
                     "Read a failing track side, then each failing sector, again up to N times "
                     "(0 to 100, default 3)")
        ->type_name("N")
        ->check(CLI::Range(0, 100).description(""));
    rescueCmd
        ->add_option("--fill-byte", fillByte,
                     "Fill unreadable sectors with this byte (hexadecimal, 00 to FF) instead of "
                     "the text UNREADABLE SECTOR")
        ->type_name("HEX")
        ->check([](const std::string& text) {
            return ParseHexByte(text) < 0 ? "not a byte in hexadecimal (00 to FF): " + text
                                          : std::string();
        });
    rescueCmd->add_flag("--no-compression", rescue.noCompression,
                        "Store every track side as it is");
    rescueCmd->add_flag("--force", rescue.force,
                        "Start afresh: replace an existing IMAGE and its map instead of going on");
    bool rescueRaw = false, rescueTvl = false;
    AddKindFlags(rescueCmd, &rescueRaw, &rescueTvl, "IMAGE");

    cli::ConvertOptions convert;
    CLI::App* convertCmd = app.add_subcommand(
        "convert", "Turn an image into a raw sector image, or a raw sector image into an image");
    bool convertRaw = false, convertTvl = false;
    convertCmd
        ->add_option("SRC", convert.source,
                     "An image, or a raw sector image of a supported diskette")
        ->required();
    convertCmd
        ->add_option("DST", convert.target,
                     "The file to write: raw for .img, .ima, .flp, .vfd, .dsk, a .tvl image for "
                     ".tvl, else the other kind than SRC")
        ->required();
    convertCmd->add_flag("--no-compression", convert.noCompression,
                         "When writing an image, store every track side as it is");
    convertCmd->add_flag("--force", convert.force, "Replace an existing DST");
    AddKindFlags(convertCmd, &convertRaw, &convertTvl, "DST");

    cli::BatchOptions batch;
    std::string batchHashes = "sha256";
    CLI::App* batchCmd = app.add_subcommand(
        "batch",
        "Image a box of diskettes into FOLDER, one after the other: each is imaged, verified, "
        "hashed and filed with an info file and a picture of its surface, manifests, batch.csv "
        "and report.html; insertion and removal are seen from the drive");
    // DRIVE... FOLDER: the folder is the last, after as many drives as there are.
    std::vector<std::string> batchPlaces;
    batchCmd
        ->add_option("DRIVE [DRIVE...] FOLDER", batchPlaces,
                     std::string(kDriveHelp) +
                         "; several drives image at once, each its own diskettes. FOLDER: where "
                         "the images go (made when missing)")
        ->required()
        ->expected(2, CLI::detail::expected_max_vector_size)
        ->type_name("");
    batchCmd
        ->add_option("--name", batch.pattern,
                     "The name of each image, {n} its number, {n:03} with leading zeros "
                     "(default disk-{n:03}); a name in use is skipped")
        ->type_name("PATTERN");
    batchCmd->add_option("--start", batch.start, "The first number (0 or more, default 1)")
        ->type_name("N")
        ->check(AtLeast(0));
    batchCmd->add_option("--count", batch.count, "Stop after N diskettes (1 or more)")
        ->type_name("N")
        ->check(AtLeast(1));
    batchCmd->add_flag("--rescue", batch.rescue,
                       "Image through rescue: go on past unreadable sectors, with a map");
    bool batchTvl = false;
    CLI::Option* batchRaw =
        batchCmd->add_flag("--raw", batch.raw, "Write raw .img images instead of .tvl");
    batchCmd->add_flag("--tvl", batchTvl, "Write .tvl images (the default)")->excludes(batchRaw);
    batchCmd->add_flag("--no-compression", batch.noCompression, "Store every track side as it is");
    batchCmd->add_flag("--no-verify", batch.noVerify, "Do not compare the image with the diskette");
    batchCmd
        ->add_option("--hash", batchHashes,
                     "The hashes to keep: md5, sha1, sha256, comma-separated (default sha256)")
        ->type_name("LIST")
        ->check(kHashList);
    batchCmd->add_flag("--json", batch.json, "Print one JSON object per diskette");
    batchCmd
        ->add_option("--resume", batch.resume,
                     "Go on with the rescue of NAME, filed cancelled, interrupted or with "
                     "unreadable sectors, from the diskette in DRIVE")
        ->type_name("NAME");
    CLI::Option* bagFlag = batchCmd->add_flag(
        "--bag", batch.bag,
        "Keep FOLDER as a BagIt bag: the files under data/, bagit.txt, bag-info.txt and tag "
        "manifests beside the manifests (a folder that is a bag stays one without it)");
    batchCmd
        ->add_option("--operator", batch.operatorName,
                     "Who images: in each info file, and bag-info.txt's Contact-Name")
        ->type_name("NAME");
    batchCmd->add_option("--note", batch.note, "A note kept in each diskette's info file")
        ->type_name("TEXT");
    batchCmd
        ->add_option("--each", batch.each,
                     "A command the shell runs after each diskette is filed, told of it in "
                     "TAVREL_NAME, TAVREL_FOLDER, TAVREL_RESULT, TAVREL_FILES and more; its "
                     "failure is reported and kept in the info file")
        ->type_name("COMMAND");
    CLI::Option* idsOption =
        batchCmd
            ->add_option("--ids", batch.ids,
                         "A file of identifiers, one a line, given in order to the diskettes as "
                         "their names")
            ->type_name("FILE");
    batchCmd
        ->add_flag("--ask", batch.ask,
                   "Ask each diskette's identifier (Enter: the next number) and the text on its "
                   "label")
        ->excludes(idsOption);
    batchCmd
        ->add_option("--box", batch.box,
                     "The box's identifier: bag-info.txt's Internal-Sender-Identifier")
        ->type_name("ID")
        ->needs(bagFlag);

    cli::FilesOptions files;
    CLI::App* filesCmd = app.add_subcommand(
        "files",
        "List the files and folders on an image's FAT file system, deleted ones included, with "
        "their hashes; with the rescue's map, which of them unreadable sectors damaged (exit "
        "code 4 when the map has any)");
    filesCmd->add_option("IMAGE", files.image, "The image or raw sector image to read")->required();
    filesCmd
        ->add_option("--map", files.map,
                     "The rescue's map of IMAGE (default IMAGE.map, or NAME.map beside NAME.tvl "
                     "or NAME.img, when there is one)")
        ->type_name("MAPFILE");
    filesCmd->add_flag("--long", files.wide, "Also show the times and the attributes");
    CLI::Option* filesJson =
        filesCmd->add_flag("--json", files.json, "Print one JSON object instead of the table");
    filesCmd->add_flag("--dfxml", files.dfxml, "Print Digital Forensics XML instead of the table")
        ->excludes(filesJson);

    std::string checkFolder;
    CLI::App* checkCmd = app.add_subcommand(
        "check",
        "Check a batch folder or bag: every file against the manifests, every image's content "
        "against its info file, a bag's tag manifests and Payload-Oxum; exit code 3 when "
        "anything differs or is missing");
    checkCmd->add_option("FOLDER", checkFolder, "The batch folder or bag")->required();

    std::string bagFolder;
    CLI::App* bagCmd = app.add_subcommand(
        "bag",
        "Make a batch folder made without --bag a BagIt bag: its files move under data/, the "
        "manifests name them there, and bagit.txt, bag-info.txt and tag manifests are written");
    bagCmd->add_option("FOLDER", bagFolder, "The batch folder")->required();

    std::string reportFolder;
    CLI::App* reportCmd = app.add_subcommand(
        "report",
        "Make a batch folder's report.html (the box's totals and a row for each diskette with "
        "a picture of its surface) and each diskette's NAME.svg again from its info and map "
        "files, for a folder from an older run; the manifests list what is made");
    reportCmd->add_option("FOLDER", reportFolder, "The batch folder or bag")->required();

    CLI::App* drivesCmd =
        app.add_subcommand("drives", "List the drive letters with their devices or files");
    bool scan = false, assign = false;
    CLI::Option* scanFlag = drivesCmd->add_flag(
        "--scan", scan, "List the floppy drives found instead, with the letters that reach them");
    drivesCmd->add_flag("--assign", assign, "Write the [Drives] lines --scan shows to the profile")
        ->needs(scanFlag);

    for (CLI::App* sub : app.get_subcommands({})) {
        sub->group("Commands");
        sub->footer(cli::HelpFooter(sub->get_name()));
        sub->fallthrough();  // --quiet after the command name too
    }

    // A word where the command goes that names none: CLI11 would ask for a command that was given.
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].empty() || args[i][0] == '-') continue;
        const std::string word = args[i];
        const auto named = [&](const CLI::App* sub) { return sub->check_name(word); };
        const CLI::App& commands = app;
        if (!commands.get_subcommands(std::function<bool(const CLI::App*)>(named)).empty()) break;
        std::string names;
        for (const CLI::App* sub : commands.get_subcommands(
                 std::function<bool(const CLI::App*)>([](const CLI::App*) { return true; })))
            names += (names.empty() ? "" : ", ") + sub->get_name();
        cli::WriteErr("tavrel-cli: " + cli::ShownArgument(args[i]) +
                      " is no command; the commands: " + names +
                      " (tavrel-cli --help says what each does)\n");
        return kExitUsage;
    }
    try {
        app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
    } catch (const CLI::ParseError& e) {
        // Help, version and parse errors go out the tool's one way too.
        std::ostringstream out, err;
        int code = app.exit(e, out, err);
        cli::WriteOut(out.str());
        cli::WriteErr(err.str());
        return code == 0 ? kExitDone : kExitUsage;
    }

    cli::Console console(quiet);
    if (*compressCmd) {
        compress.kind = KindOf(compressRaw, compressTvl);
        return cli::RunCompress(compress, console);
    }
    if (*expandCmd) return cli::RunExpand(expand, console);
    if (*verifyCmd) return cli::RunVerify(verify, console);
    if (*infoCmd) {
        info.hashes = infoHashes.empty() ? 0 : ParseFixityList(infoHashes);
        return cli::RunInfo(info, console);
    }
    if (*convertCmd) {
        convert.kind = KindOf(convertRaw, convertTvl);
        return cli::RunConvert(convert, console);
    }
    if (*rescueCmd) {
        rescue.fillByte = fillByte.empty() ? -1 : ParseHexByte(fillByte);
        rescue.commandLine = CommandLine(args);
        rescue.kind = KindOf(rescueRaw, rescueTvl);
        return cli::RunRescue(rescue, console);
    }
    if (*batchCmd) {
        batch.hashes = ParseFixityList(batchHashes);
        batch.folder = batchPlaces.back();
        batch.drives.assign(batchPlaces.begin(), batchPlaces.end() - 1);
        return cli::RunBatch(batch, console);
    }
    if (*checkCmd) return cli::RunCheck(checkFolder, console);
    if (*filesCmd) return cli::RunFiles(files, console);
    if (*bagCmd) return cli::RunBag(bagFolder, console);
    if (*reportCmd) return cli::RunReport(reportFolder, console);
    if (*drivesCmd) return scan ? cli::RunDriveScan(assign, console) : cli::RunDrives(console);
    return kExitUsage;
}
