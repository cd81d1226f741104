// The options and the two recent lists, kept in the profile file named after the program.
#include <QComboBox>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "platform/drive_map.h"
#include "platform/last_error.h"
#include "platform/profile.h"

namespace {

constexpr const char* kOptions = "Options";
constexpr const char* kDriveLetters = "Drive Letters";
constexpr const char* kFileNames = "File Names";
constexpr const char* kDrives = "Drives";

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

// The entries to keep: a drive found on the machine but never used is not a recent letter.
std::vector<std::string> RecentEntries(const QComboBox* combo) {
    std::vector<std::string> entries;
    for (int i = 0; i < combo->count(); ++i)
        if (!combo->itemData(i, CMainDlg::kFoundDriveRole).toBool())
            entries.push_back(combo->itemText(i).toStdString());
    return entries;
}

// The entries that are written: the first ten the profile takes. It refuses a name with a line
// break (a file name may hold one), which then is simply not kept, and the next one takes its
// place, so that no older entry is left standing in its slot.
std::vector<std::string> SaveList(const std::string& file, const char* section,
                                  const QComboBox* combo) {
    std::vector<std::string> written;
    for (const std::string& entry : RecentEntries(combo)) {
        if (written.size() == static_cast<size_t>(kEntriesWritten)) break;
        if (WritePrivateProfileStringA(section, EntryKey(static_cast<int>(written.size())).c_str(),
                                       entry.c_str(), file.c_str()))
            written.push_back(entry);
    }
    return written;
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
        if (!drive.empty()) m_driveCombo->addItem(QString::fromStdString(drive).toUpper());
        std::string name = GetProfileString(file, kFileNames, EntryKey(i));
        if (!name.empty()) m_fileCombo->addItem(QString::fromStdString(name));
    }
}

void CMainDlg::SaveSettings() {
    const std::string file = platform::ProfilePath();
    if (file.empty()) return;
    // One write of the whole file; a failure is told once, and the dialog still closes, so
    // that an unattended run never waits for an answer.
    platform::ProfileBatch batch;
    WriteProfileInt(file, kOptions, "Compression", m_bCompression);
    WriteProfileInt(file, kOptions, "AutoClose", m_bAutoClose);
    WriteProfileInt(file, kOptions, "Operation", m_nOperation);
    const std::vector<std::string> recent = SaveList(file, kDriveLetters, m_driveCombo);
    // A letter this run gave to a drive it found, and then used, keeps reaching that drive.
    for (const auto& [letter, mapping] : m_foundMappings) {
        bool used = false;
        for (const std::string& entry : recent)
            used = used || (entry.size() == 1 &&
                            std::toupper(static_cast<unsigned char>(entry[0])) == letter);
        const char key[2] = {letter, '\0'};
        if (used)
            WritePrivateProfileStringA(kDrives, key, platform::ResolveDriveLetter(letter).c_str(),
                                       file.c_str());
    }
    SaveList(file, kFileNames, m_fileCombo);
    if (!batch.Commit())
        std::fprintf(stderr, "tavrel: settings not saved in %s: %s\n", file.c_str(),
                     std::strerror(static_cast<int>(GetLastError())));
}
