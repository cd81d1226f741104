// Compress, expand and verify end to end on every supported layout, with both methods.
#include "engine/image_format.h"
#include "tests/engine/job_harness.h"

namespace {

struct FormatCase {
    FloppyFormat format;
    int compress;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.format.name << (c.compress ? " run-length" : " uncompressed");
}

class JobFormats : public JobTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(JobFormats, CompressExpandVerifyRoundTrip) {
    const FloppyFormat& f = GetParam().format;
    const int compress = GetParam().compress;
    const std::string source = Floppy(f, "source.img");
    const std::string image = dir / "disk.tvl";
    const int fdsBefore = OpenDescriptorCount();

    ASSERT_TRUE(Run(Compress, source, image, compress));
    EXPECT_TRUE(window->boxes.empty()) << window->boxes[0].caption << ": " << window->boxes[0].text;
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(window->doneCount, 1);
    EXPECT_EQ(window->progressSteps, 20);
    EXPECT_EQ(static_cast<int>(window->statusLines.size()), 4 * f.cylinders);

    std::string bytes = ReadFileBytes(image);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4),
              std::string({'D', 'k', static_cast<char>(f.mediaCode), static_cast<char>(compress)}));
    if (!compress) {
        EXPECT_EQ(static_cast<long long>(bytes.size()),
                  UncompressedImageSize(f.cylinders, f.sectorsPerTrack * 512));
    } else {
        EXPECT_LT(bytes.size(), ReadFileBytes(source).size() / 2)
            << "a mostly empty diskette packs well";
    }
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);

    // Expand onto a blank diskette of the same layout: it becomes the source, byte for byte.
    const std::string target = dir / "target.img";
    ASSERT_TRUE(MakeFloppyImage(target, f, false));
    NewWindow();
    ASSERT_TRUE(Run(Expand, target, image));
    EXPECT_TRUE(window->boxes.empty()) << window->boxes[0].text;
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(window->progressSteps, 20);
    EXPECT_EQ(static_cast<int>(window->statusLines.size()), 4 * f.cylinders);
    EXPECT_TRUE(ReadFileBytes(target) == ReadFileBytes(source));
    EXPECT_EQ(ReadFileBytes(image), bytes) << "expand leaves the image as it was";

    NewWindow();
    ASSERT_TRUE(Run(Verify, target, image));
    EXPECT_TRUE(window->boxes.empty()) << window->boxes[0].text;
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(window->progressSteps, 20);
    EXPECT_EQ(static_cast<int>(window->statusLines.size()), 2 * f.cylinders);

    job.reset();
    EXPECT_EQ(OpenDescriptorCount(), fdsBefore);
}

std::vector<FormatCase> AllCases() {
    std::vector<FormatCase> cases;
    for (const FloppyFormat& f : kFloppyFormats)
        for (int compress : {0, 1}) cases.push_back({f, compress});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, JobFormats, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) {
                             std::string name = info.param.format.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name + (info.param.compress ? "_RunLength" : "_Uncompressed");
                         });

TEST_F(JobTest, CompressStatusLinesAndProgressComeInOrder) {
    const std::string source = Floppy(k144);
    ASSERT_TRUE(Run(Compress, source, dir / "disk.tvl"));
    std::vector<std::string> expected;
    std::vector<int> progressAt;
    for (int c = 0; c < 80; ++c) {
        expected.push_back("Reading Cylinder - " + std::to_string(c) + "  Head - 0");
        expected.push_back("Writing File");
        expected.push_back("Reading Cylinder - " + std::to_string(c) + "  Head - 1");
        expected.push_back("Writing File");
        if (c % 4 == 0) progressAt.push_back(static_cast<int>(expected.size()));
    }
    EXPECT_EQ(window->statusLines, expected);
    EXPECT_EQ(window->progressAtStatus, progressAt);
}

TEST_F(JobTest, ExpandAndVerifyStatusLinesComeInOrder) {
    const std::string source = Floppy(k360);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(Run(Compress, source, image));

    NewWindow();
    ASSERT_TRUE(Run(Expand, source, image));
    std::vector<std::string> expected;
    std::vector<int> progressAt;
    for (int c = 0; c < 40; ++c) {
        for (int h = 0; h < 2; ++h) {
            expected.push_back("Reading File");
            expected.push_back("Writing Cylinder - " + std::to_string(c) + "  Head - " +
                               std::to_string(h));
        }
        if (c % 2 == 0) progressAt.push_back(static_cast<int>(expected.size()));
    }
    EXPECT_EQ(window->statusLines, expected);
    EXPECT_EQ(window->progressAtStatus, progressAt);

    NewWindow();
    ASSERT_TRUE(Run(Verify, source, image));
    expected.clear();
    progressAt.clear();
    for (int c = 0; c < 40; ++c) {
        for (int h = 0; h < 2; ++h) {
            expected.push_back("Verifing Cylinder - " + std::to_string(c) + "  Head - " +
                               std::to_string(h));
            // Verify applies the progress rule after every side: after head 0 of each step.
            if (h == 0 && c % 2 == 0) progressAt.push_back(static_cast<int>(expected.size()));
        }
    }
    EXPECT_EQ(window->statusLines, expected);
    EXPECT_EQ(window->progressAtStatus, progressAt);
}

TEST_F(JobTest, UncompressedRecordsSitAtFixedOffsets) {
    const std::string source = Floppy(k144);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(Run(Compress, source, image, 0));
    std::string bytes = ReadFileBytes(image);
    ASSERT_EQ(bytes.size(), 1474884u);
    std::string raw = ReadFileBytes(source);
    for (int k : {0, 1, 2, 77, 159}) {
        size_t at = 4 + 9218u * static_cast<size_t>(k);
        EXPECT_EQ(static_cast<unsigned char>(bytes[at]), k / 2);
        EXPECT_EQ(static_cast<unsigned char>(bytes[at + 1]), k % 2);
        EXPECT_EQ(bytes.substr(at + 2, 9216), raw.substr(9216u * static_cast<size_t>(k), 9216));
    }
}

}  // namespace
