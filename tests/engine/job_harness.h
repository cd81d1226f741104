// Runs whole jobs against raw image files standing in for drive A:.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/disk_job.h"
#include "platform/drive_map.h"
#include "platform/handle.h"
#include "tests/support/facility.h"
#include "tests/support/floppy_images.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"

class JobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mcopy are needed (dosfstools, mtools)");
    }

    // Runs one job on drive A: mapped to drivePath. Fresh window unless keepWindow.
    bool Run(int operation, const std::string& drivePath, const std::string& image,
             int compress = 1) {
        platform::ScopedDriveMapping mapping('A', drivePath);
        job->m_driveLetter = "A";
        job->m_imagePath = image;
        job->m_operation = operation;
        job->m_compress = compress;
        return RunToCompletion(*job, *window);
    }

    // After the job under test: one end notice, and once the job object is gone, no descriptor
    // or handle more than before it started (fdsBefore, taken by the fixture).
    void ExpectCleanEnd() {
        EXPECT_EQ(window->doneCount, 1) << "exactly one end notice";
        job.reset();
        EXPECT_EQ(OpenDescriptorCount(), fdsBefore) << "a descriptor was left open";
        EXPECT_EQ(platform::LiveHandleCount(), 0) << "a handle was left open";
    }

    void ExpectOneBox(const std::string& text, const std::string& caption,
                      UINT type = MB_ICONERROR) {
        ASSERT_EQ(window->boxes.size(), 1u);
        EXPECT_EQ(window->boxes[0].text, text);
        EXPECT_EQ(window->boxes[0].caption, caption);
        EXPECT_EQ(window->boxes[0].type, MB_OK | type);
    }

    // Makes an image with a job and window of its own, leaving this test's job untouched.
    bool CompressAside(const std::string& drivePath, const std::string& image, int compress) {
        RecordingWindow w;
        CDiskJob other(&w);
        platform::ScopedDriveMapping mapping('A', drivePath);
        other.m_driveLetter = "A";
        other.m_imagePath = image;
        other.m_operation = Compress;
        other.m_compress = compress;
        return RunToCompletion(other, w) && other.m_result == JobDone;
    }

    void NewWindow() {
        job.reset();
        window = std::make_unique<RecordingWindow>();
        job = std::make_unique<CDiskJob>(window.get());
    }

    std::string Floppy(const FloppyFormat& format, const std::string& name = "drive.img") {
        std::string path = dir / name;
        EXPECT_TRUE(MakeFloppyImage(path, format)) << "mkfs.fat failed for " << format.name;
        return path;
    }

    TempDir dir;
    int fdsBefore = 0;
    std::unique_ptr<RecordingWindow> window = std::make_unique<RecordingWindow>();
    std::unique_ptr<CDiskJob> job = std::make_unique<CDiskJob>(window.get());
};

constexpr FloppyFormat k144 = kFloppyFormats[4];
constexpr FloppyFormat k360 = kFloppyFormats[0];
constexpr FloppyFormat k720 = kFloppyFormats[2];
