// What the batch tests share: three diskettes of two formats, made by mkfs.fat, and a folder to
// file them into.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

class BatchFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(MakeFloppyImage(Disk(i), kFloppyFormats[i == 1 ? 2 : 4]));
    }
    std::string Disk(int i) const { return dir / ("disk" + std::to_string(i) + ".raw"); }
    std::string Sha256Of(const std::string& path) { return Sha256Sum(path, dir); }
    TempDir dir;
    const std::string folder = dir / "box";
};
