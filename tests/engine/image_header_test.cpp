// The image header checks, in their order, and what each bad header shows.
#include "tests/engine/job_harness.h"

namespace {

class ImageHeaderTest : public JobTest {
  protected:
    std::vector<std::string> ShownTexts() {
        std::vector<std::string> texts;
        for (const auto& b : window->boxes) {
            EXPECT_EQ(b.caption, "Tavrel");
            EXPECT_EQ(b.type, MB_ICONERROR);
            texts.push_back(b.text);
        }
        return texts;
    }
    std::vector<std::string> ExpandWithImage(const std::string& bytes,
                                             const FloppyFormat& format = k144) {
        const std::string drive = Floppy(format);
        const std::string before = ReadFileBytes(drive);
        WriteFileBytes(dir / "disk.tvl", bytes);
        EXPECT_TRUE(Run(Expand, drive, dir / "disk.tvl"));
        EXPECT_TRUE(ReadFileBytes(drive) == before) << "a bad image changes nothing on the drive";
        EXPECT_EQ(ReadFileBytes(dir / "disk.tvl"), bytes);
        EXPECT_EQ(job->m_result, JobFailed);
        return ShownTexts();
    }
};

using Texts = std::vector<std::string>;

TEST_F(ImageHeaderTest, WrongMagic) {
    EXPECT_EQ(ExpandWithImage(std::string("XY\x04\x01", 4)), Texts{"  Invalid header info. "});
}

TEST_F(ImageHeaderTest, WrongMediaCode) {
    EXPECT_EQ(ExpandWithImage(std::string("Dk\x03\x01", 4)), Texts{"  Invalid media type. "});
}

TEST_F(ImageHeaderTest, BadCompressionMethodOnlyWhenTheRestIsRight) {
    EXPECT_EQ(ExpandWithImage(std::string("Dk\x04\x02", 4)),
              Texts{"  Invalid compression method. "});
    NewWindow();
    EXPECT_EQ(ExpandWithImage(std::string("Dk\x01\x02", 4)), Texts{"  Invalid media type. "});
}

TEST_F(ImageHeaderTest, EmptyFileShowsTheReadMessage) {
    // The header record keeps the bytes that did not arrive; here they still match.
    g_imageHeader = {{kImageMagic0, kImageMagic1}, 0, 0};
    EXPECT_EQ(ExpandWithImage(""), Texts{"  Error reading file header information. "});
}

TEST_F(ImageHeaderTest, TheHeaderRecordOutlivesAJob) {
    // One header record serves the whole process: after a file with a wrong magic, an empty
    // file is judged by the bytes that file left.
    EXPECT_EQ(ExpandWithImage(std::string("XY\x04\x01", 4)), Texts{"  Invalid header info. "});
    NewWindow();
    EXPECT_EQ(ExpandWithImage(""),
              (Texts{"  Error reading file header information. ", "  Invalid header info. "}));
}

TEST_F(ImageHeaderTest, ShortHeaderIsCheckedAsFarAsItGoes) {
    EXPECT_EQ(ExpandWithImage("Q"),
              (Texts{"  Error reading file header information. ", "  Invalid header info. "}));
}

TEST_F(ImageHeaderTest, ImageOfAnotherLayout) {
    const std::string drive720 = Floppy(k720, "720.img");
    ASSERT_TRUE(Run(Compress, drive720, dir / "720.tvl"));
    NewWindow();
    const std::string drive144 = Floppy(k144);
    ASSERT_TRUE(Run(Expand, drive144, dir / "720.tvl"));
    EXPECT_EQ(ShownTexts(), Texts{"  Invalid media type. "});
}

TEST_F(ImageHeaderTest, BadRecordStopsExpandWithReadError) {
    // A header, one good fill record, then an encoding byte of 3.
    std::string bytes("Dk\x04\x01", 4);
    bytes += std::string("\x00\x00\x01\xF6", 4);
    bytes += std::string("\x00\x01\x03", 3);
    const std::string drive = Floppy(k144);
    WriteFileBytes(dir / "disk.tvl", bytes);
    ASSERT_TRUE(Run(Expand, drive, dir / "disk.tvl"));
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].text, "  Error reading file. ");
    EXPECT_EQ(window->boxes[0].caption, "Read Error");
}

TEST_F(ImageHeaderTest, ExtraRecordsBeyondTheDiskAreNotRead) {
    const std::string drive = Floppy(k360);
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    std::string bytes =
        ReadFileBytes(dir / "disk.tvl") + std::string("garbage after the last record");
    WriteFileBytes(dir / "disk.tvl", bytes);
    NewWindow();
    ASSERT_TRUE(Run(Verify, drive, dir / "disk.tvl"));
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_EQ(job->m_result, JobDone);
}

}  // namespace
