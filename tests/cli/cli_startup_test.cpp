// The console tool starts without The Sleuth Kit: only a listing loads it, through the listing
// module beside the tool. It came into every start once, unnoticed, and cost each command
// several times its start-up; and a tool whose module is missing or broken still images.
// libxml2 (with ICU) is loaded the same way, by the first XML the tool writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/module_load.h"
#include "platform/syscalls.h"
#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

// What the dynamic loader reports loading (LD_DEBUG=libs) while the tool runs args.
std::string LibrariesLoaded(const std::vector<std::string>& args) {
    return RunTool(args, {{"LD_DEBUG", "libs"}}).err;
}

bool LoadsTsk(const std::string& loaded) {
    return loaded.find("libtsk.so") != std::string::npos;
}

bool LoadsXml(const std::string& loaded) {
    return loaded.find("libxml2.so") != std::string::npos;
}

class CliStartup : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeFloppyImage(disk, kFloppyFormats[0]));
    }
    // A copy of the tool in a folder of its own, where it finds no listing module (PREFIX/bin
    // and PREFIX/lib/ARCH/tavrel, as installed); runs it with args, its output in out and err.
    int RunCopy(const std::string& args) {
        return Shell("'" + copy + "' " + args + " >'" + out + "' 2>'" + err + "'");
    }
    void MakeCopy() {
        ASSERT_EQ(Shell("mkdir -p '" + prefix + "/bin' && cp '" TAVREL_CLI "' '" + copy + "'"), 0);
    }
    TempDir dir;
    const std::string disk = dir / "disk.raw";
    const std::string prefix = dir / "usr";
    const std::string copy = prefix + "/bin/tavrel-cli";
    const std::string module = prefix + "/" TAVREL_LISTING_MODULE;
    const std::string out = dir / "out.txt", err = dir / "err.txt";
};

TEST_F(CliStartup, OnlyAListingLoadsTheSleuthKit) {
    // The tool itself names no library of the listing's.
    ASSERT_EQ(Shell("ldd '" TAVREL_CLI "' >'" + out + "' 2>&1"), 0) << ReadFileBytes(out);
    EXPECT_FALSE(LoadsTsk(ReadFileBytes(out))) << ReadFileBytes(out);
    EXPECT_FALSE(LoadsXml(ReadFileBytes(out))) << ReadFileBytes(out);

    const std::string image = dir / "disk.tvl";
    const std::vector<std::vector<std::string>> imaging = {{"--version"},
                                                           {"compress", disk, image},
                                                           {"verify", image, disk},
                                                           {"info", image},
                                                           {"convert", image, dir / "back.raw"}};
    for (const auto& args : imaging) {
        const std::string loaded = LibrariesLoaded(args);
        // The loader's report is there to be read: a run it says nothing of proves nothing.
        ASSERT_NE(loaded.find("calling init"), std::string::npos) << args[0] << ": " << loaded;
        EXPECT_FALSE(LoadsTsk(loaded)) << args[0] << " loaded The Sleuth Kit";
        EXPECT_FALSE(LoadsXml(loaded)) << args[0] << " loaded libxml2";
        EXPECT_EQ(loaded.find("tavrel-listing.so"), std::string::npos) << args[0];
    }
    // The test can tell: a listing does load it, and its XML and a report load libxml2.
    EXPECT_TRUE(LoadsTsk(LibrariesLoaded({"files", image})));
    EXPECT_FALSE(LoadsXml(LibrariesLoaded({"files", image})));
    EXPECT_TRUE(LoadsXml(LibrariesLoaded({"files", "--dfxml", image})));
    const std::string box = dir / "box";
    ASSERT_EQ(RunTool({"-q", "batch", disk, box, "--count", "1"}).exitCode, 0);
    EXPECT_TRUE(LoadsXml(LibrariesLoaded({"report", box})));
}

// Where libxml2 cannot be loaded the tool still images and lists, and what needs XML says why.
TEST_F(CliStartup, WithoutLibxml2OnlyWhatWritesXmlFailsAndSaysWhy) {
    // A libxml2 the loader finds first but cannot load, as a broken installation would leave.
    const std::string libs = dir / "libs";
    ASSERT_EQ(Shell("mkdir -p '" + libs + "' && echo 'not a library' >'" + libs + "/" +
                    TAVREL_LIBXML2_SONAME + "'"),
              0);
    const ToolEnv broken = {{"LD_LIBRARY_PATH", libs}};
    const std::string image = dir / "disk.tvl";
    EXPECT_EQ(RunTool({"-q", "compress", disk, image}, broken).exitCode, 0);
    EXPECT_EQ(RunTool({"files", image}, broken).exitCode, 0);

    const ToolResult dfxml = RunTool({"files", "--dfxml", image}, broken);
    EXPECT_EQ(dfxml.exitCode, 2);
    EXPECT_EQ(dfxml.out, "");
    const std::string said = "tavrel-cli: the XML of the listing could not be written: libxml2 (" +
                             std::string(TAVREL_LIBXML2_SONAME) + ") cannot be loaded: ";
    EXPECT_EQ(dfxml.err.rfind(said, 0), 0U) << dfxml.err;
    EXPECT_EQ(std::count(dfxml.err.begin(), dfxml.err.end(), '\n'), 1) << dfxml.err;

    // A batch files the diskette all the same; its info says why it has no listing, and report
    // says why it cannot draw.
    const std::string box = dir / "box";
    EXPECT_EQ(RunTool({"-q", "batch", disk, box, "--count", "1"}, broken).exitCode, 0);
    const std::string info = ReadFileBytes(box + "/disk-001.info");
    EXPECT_NE(info.find("result: done\n"), std::string::npos) << info;
    EXPECT_NE(info.find("files: none (the XML of the listing could not be written: libxml2 ("),
              std::string::npos)
        << info;
    const ToolResult report = RunTool({"report", box}, broken);
    EXPECT_EQ(report.exitCode, 2);
    EXPECT_EQ(report.err.rfind("tavrel-cli: report cannot draw: libxml2 (", 0), 0U) << report.err;
    // Once libxml2 is there again, the same folder is reported.
    EXPECT_EQ(RunTool({"-q", "report", box}).exitCode, 0);
}

// Missing, not a shared object, or of another build (without the entry this tool calls): a
// listing says why on one line and exits 2, and everything else images as before.
TEST_F(CliStartup, WithoutAUsableListingModuleTheToolImagesAndSaysWhyItCannotList) {
    MakeCopy();
    const std::string cannot = "tavrel-cli: the listing module " + module + " cannot be loaded: ";
    EXPECT_EQ(RunCopy("files '" + disk + "'"), 2);
    EXPECT_EQ(ReadFileBytes(err),
              cannot + "cannot open shared object file: No such file or directory\n");
    EXPECT_EQ(ReadFileBytes(out), "");

    const std::string image = dir / "disk.tvl";
    EXPECT_EQ(RunCopy("-q compress '" + disk + "' '" + image + "'"), 0) << ReadFileBytes(err);
    EXPECT_EQ(RunCopy("-q verify '" + image + "' '" + disk + "'"), 0) << ReadFileBytes(err);
    const std::string drive = dir / "drive.raw";
    ASSERT_EQ(Shell("cp '" + disk + "' '" + drive + "'"), 0);
    EXPECT_EQ(RunCopy("-q expand '" + image + "' '" + drive + "'"), 0) << ReadFileBytes(err);
    EXPECT_TRUE(SameBytes(drive, disk));
    EXPECT_EQ(RunCopy("-q rescue '" + disk + "' '" + (dir / "rescued.tvl") + "'"), 0)
        << ReadFileBytes(err);

    // A batch files the diskette all the same; its info says why it has no listing.
    const std::string box = dir / "box";
    EXPECT_EQ(RunCopy("-q batch '" + disk + "' '" + box + "' --count 1"), 0) << ReadFileBytes(err);
    const std::string info = ReadFileBytes(box + "/disk-001.info");
    EXPECT_NE(info.find("result: done\n"), std::string::npos) << info;
    EXPECT_NE(info.find("files: none (" + cannot.substr(12)), std::string::npos) << info;

    // libgpg-error stands for a module of another build: libgcrypt brings it wherever the tool
    // runs.
    ASSERT_EQ(
        Shell("mkdir -p \"$(dirname '" + module + "')\" && echo 'not a module' >'" + module + "'"),
        0);
    EXPECT_EQ(RunCopy("files '" + disk + "'"), 2);
    std::string text = ReadFileBytes(err);
    EXPECT_EQ(text.rfind(cannot, 0), 0U) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    ASSERT_EQ(Shell("lib=$(ldd '" TAVREL_CLI
                    "' | awk '/libgpg-error\\.so/ {print $3}') && [ -f \"$lib\" ] && "
                    "cp \"$lib\" '" +
                    module + "'"),
              0);
    EXPECT_EQ(RunCopy("files '" + disk + "'"), 2);
    text = ReadFileBytes(err);
    EXPECT_EQ(text, cannot + "undefined symbol: tavrel_list_file_system_1\n") << text;
}

// The loading itself, in this process, where only the seam can make it fail: the module found
// where the tool and the tests look for it (one folder above their own), a refused load said
// in one line, and a library's functions found or the one missing named.
TEST(ModuleLoad, FindsWhatItLoadsAndSaysWhyNot) {
    EXPECT_EQ(platform::ProgramPrefix() + "/" TAVREL_LISTING_MODULE, TAVREL_LISTING_PATH);
    std::string error;
    EXPECT_NE(platform::LoadModuleEntry(TAVREL_LISTING_PATH, "tavrel_list_file_system_1", &error),
              nullptr)
        << error;
    {
        platform::ScopedFaultHook refuse([](platform::SysCall call, const char*) {
            return call == platform::SysCall::Load ? EACCES : 0;
        });
        EXPECT_EQ(
            platform::LoadModuleEntry(TAVREL_LISTING_PATH, "tavrel_list_file_system_1", &error),
            nullptr);
        EXPECT_EQ(error, std::strerror(EACCES));
    }
    const char* names[] = {"xmlInitParser", "xmlNewTextWriterMemory", "xmlNoSuchFunction"};
    void* addresses[3] = {};
    EXPECT_TRUE(platform::LoadLibraryFunctions(TAVREL_LIBXML2_SONAME, names, 2, addresses, &error))
        << error;
    EXPECT_TRUE(addresses[0] && addresses[1]);
    EXPECT_FALSE(
        platform::LoadLibraryFunctions(TAVREL_LIBXML2_SONAME, names, 3, addresses, &error));
    EXPECT_NE(error.find("undefined symbol: xmlNoSuchFunction"), std::string::npos) << error;
}

}  // namespace
