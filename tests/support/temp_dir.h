// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Runs a shell command; its exit status (0 for success).
int Shell(const std::string& command);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Files in a folder whose name contains part.
int CountFilesContaining(const std::string& dir, const std::string& part);
// Names in a folder, sorted; a failed job must leave this unchanged.
std::vector<std::string> Listing(const std::string& dir);
