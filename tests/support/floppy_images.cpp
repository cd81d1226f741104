#include "tests/support/floppy_images.h"

#include <cstdio>
#include <fstream>
#include <random>

#include "tests/support/temp_dir.h"

bool HaveFatTools() {
    return Shell("command -v mkfs.fat >/dev/null && command -v mcopy >/dev/null") == 0;
}

bool MakeFloppyImage(const std::string& path, const FloppyFormat& format, bool withFiles) {
    char descriptor[8];
    std::snprintf(descriptor, sizeof descriptor, "0x%02X", format.mediaDescriptor);
    std::string cmd = "rm -f '" + path + "' && mkfs.fat -C -M " + descriptor + " '" + path + "' " +
                      std::to_string(format.kilobytes) + " >/dev/null 2>&1";
    if (Shell(cmd) != 0) return false;
    if (!withFiles) return true;

    std::string dir = path + ".files";
    Shell("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
    {
        std::ofstream text(dir + "/README.TXT");
        for (int i = 0; i < 400; ++i) text << "Line " << i << " of a text file on a diskette.\n";
    }
    {
        std::mt19937 random(static_cast<unsigned>(format.kilobytes));
        std::ofstream bin(dir + "/PROGRAM.BIN", std::ios::binary);
        for (int i = 0; i < 30000; ++i) bin.put(static_cast<char>(random() & 0xFF));
    }
    int rc = Shell("MTOOLS_SKIP_CHECK=1 mcopy -i '" + path + "' '" + dir + "/README.TXT' '" + dir +
                   "/PROGRAM.BIN' ::/ >/dev/null 2>&1");
    Shell("rm -rf '" + dir + "'");
    return rc == 0;
}
