#include "cli/file_source.h"

#include "platform/file_api.h"
#include "platform/last_error.h"

namespace cli {

bool FileSource::Open(const std::string& path) {
    m_file.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    if (!m_file.valid()) return false;
    LONG high = 0;
    DWORD low = SetFilePointer(m_file.get(), 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != 0) return false;
    m_size = (static_cast<long long>(high) << 32) | low;
    Rewind();
    return true;
}

void FileSource::Rewind() {
    LONG high = 0;
    SetFilePointer(m_file.get(), 0, &high, FILE_BEGIN);
    m_position = 0;
    m_error = 0;
}

DWORD FileSource::ReadSome(void* data, std::uint32_t count) {
    DWORD done = 0;
    if (!ReadFile(m_file.get(), data, count, &done, nullptr)) m_error = GetLastError();
    m_position += done;
    return done;
}

int FileSource::Read(void* data, std::uint32_t count) {
    return ReadSome(data, count) == count && !failed();
}

}  // namespace cli
