// The options and the two recent lists, kept in the profile file named after the program.
#include <QComboBox>
#include <string>

#include "app/main_dlg.h"
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

void SaveList(const std::string& file, const char* section, const QComboBox* combo) {
    int n = combo->count();
    for (int i = 0; i < n && i < kEntriesWritten; ++i)
        WritePrivateProfileStringA(section, EntryKey(i).c_str(),
                                   combo->itemText(i).toStdString().c_str(), file.c_str());
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
    WriteProfileInt(file, kOptions, "Compression", m_bCompression);
    WriteProfileInt(file, kOptions, "AutoClose", m_bAutoClose);
    WriteProfileInt(file, kOptions, "Operation", m_nOperation);
    SaveList(file, kDriveLetters, m_driveCombo);
    SaveList(file, kFileNames, m_fileCombo);
}
