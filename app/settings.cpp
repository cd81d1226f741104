// The options and the two recent lists, kept in the profile file named after the program.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "app/resource_ids.h"
#include "platform/last_error.h"
#include "platform/profile.h"

namespace {

constexpr const char* kOptions = "Options";
constexpr const char* kDriveLetters = "Drive Letters";
constexpr const char* kFileNames = "File Names";

// Nine entries are read back and ten written: stored files and earlier runs rely on it.
constexpr int kEntriesRead = 9;
constexpr int kEntriesWritten = 10;

std::string EntryKey(int index) {
    return "Entry" + std::to_string(index);
}

int GetProfileInt(const std::string& file, const char* section, const char* key, int def) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, file.c_str()));
}

std::string GetProfileString(const std::string& file, const char* section, const std::string& key) {
    char value[4096];
    GetPrivateProfileStringA(section, key.c_str(), "", value, sizeof value, file.c_str());
    return value;
}

void WriteProfileInt(const std::string& file, const char* section, const char* key, int value) {
    WritePrivateProfileStringA(section, key, std::to_string(value).c_str(), file.c_str());
}

// The entries that are written: the first ten the profile takes. It refuses a name with a line
// break (a file name may hold one), which then is simply not kept, and the next one takes its
// place, so that no older entry is left standing in its slot.
std::vector<std::string> SaveList(const std::string& file, const char* section,
                                  const std::vector<std::string>& entries) {
    std::vector<std::string> written;
    for (const std::string& entry : entries) {
        if (written.size() == static_cast<size_t>(kEntriesWritten)) break;
        if (WritePrivateProfileStringA(section, EntryKey(static_cast<int>(written.size())).c_str(),
                                       entry.c_str(), file.c_str()))
            written.push_back(entry);
    }
    return written;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

void CMainDlg::LoadSettings() {
    const std::string file = platform::ProfilePath();
    m_bCompression = GetProfileInt(file, kOptions, "Compression", 1);
    m_bAutoClose = GetProfileInt(file, kOptions, "AutoClose", 0);
    m_nOperation = GetProfileInt(file, kOptions, "Operation", 0);
    for (int i = 0; i < kEntriesRead; ++i) {
        std::string drive = GetProfileString(file, kDriveLetters, EntryKey(i));
        // The drive box holds upper-case text only, its list included.
        if (!drive.empty()) ListInsert(IDC_DRIVE, -1, Upper(drive));
        std::string name = GetProfileString(file, kFileNames, EntryKey(i));
        if (!name.empty()) ListInsert(IDC_FILENAME, -1, name);
    }
}

void CMainDlg::SaveSettings() {
    const std::string file = platform::ProfilePath();
    if (file.empty()) return;
    // The entries the user chose: a drive the face found on the machine but never used is not a
    // recent letter.
    auto recent = [this](int id) {
        std::vector<std::string> entries;
        for (int i = 0; i < ListCount(id); ++i)
            if (IsRecentEntry(id, i)) entries.push_back(ListText(id, i));
        return entries;
    };
    // One write of the whole file; a failure is told once, and the dialog still closes, so
    // that an unattended run never waits for an answer.
    platform::ProfileBatch batch;
    WriteProfileInt(file, kOptions, "Compression", m_bCompression);
    WriteProfileInt(file, kOptions, "AutoClose", m_bAutoClose);
    WriteProfileInt(file, kOptions, "Operation", m_nOperation);
    const std::vector<std::string> letters = SaveList(file, kDriveLetters, recent(IDC_DRIVE));
    OnSettingsSaved(file, letters);
    SaveList(file, kFileNames, recent(IDC_FILENAME));
    if (!batch.Commit())
        std::fprintf(stderr, "tavrel: settings not saved in %s: %s\n", file.c_str(),
                     std::strerror(static_cast<int>(GetLastError())));
}
