#include "cli/atomic_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "drive/disk_errors.h"
#include "platform/file_api.h"
#include "platform/last_error.h"

namespace cli {

AtomicOutput::~AtomicOutput() {
    Discard();
}

bool AtomicOutput::Open(const std::string& target, std::string* error) {
    m_target = target;
    std::string base = target + ".tavrel-partial-" + std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = attempt ? base + "-" + std::to_string(attempt) : base;
        m_file.reset(
            CreateFileA(m_temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        if (m_file.valid() || GetLastError() != EEXIST) break;
    }
    if (m_file.valid()) return true;
    *error = "tavrel-cli: cannot create a file beside " + target + ": " +
             DiskErrorText(GetLastError(), FALSE);
    m_temp.clear();
    return false;
}

int AtomicOutput::Flush() {
    if (m_buffered == 0) return 1;
    DWORD done = 0;
    BOOL ok = WriteFile(m_file.get(), m_buffer, m_buffered, &done, nullptr);
    if (!ok || done != m_buffered) {
        // A write that stops short without an error means the disk is full.
        if (!m_writeError) m_writeError = ok ? ENOSPC : GetLastError();
        return 0;
    }
    m_buffered = 0;
    return 1;
}

int AtomicOutput::Write(const void* data, std::uint32_t count) {
    if (m_writeError) return 0;
    if (count > sizeof m_buffer - m_buffered && !Flush()) return 0;
    if (count >= sizeof m_buffer) {
        DWORD done = 0;
        BOOL ok = WriteFile(m_file.get(), data, count, &done, nullptr);
        if (!ok || done != count) {
            if (!m_writeError) m_writeError = ok ? ENOSPC : GetLastError();
            return 0;
        }
    } else {
        std::memcpy(m_buffer + m_buffered, data, count);
        m_buffered += count;
    }
    m_written += count;
    return 1;
}

bool AtomicOutput::Commit(std::string* error) {
    Flush();
    DWORD code = m_writeError;
    if (!code && !FlushFileBuffers(m_file.get())) code = GetLastError();
    if (!code && !m_file.Close()) code = GetLastError();
    if (!code && !MoveFileExA(m_temp.c_str(), m_target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = GetLastError();
    if (code) {
        *error = "tavrel-cli: cannot write " + m_target + ": " + DiskErrorText(code, FALSE);
        Discard();
        return false;
    }
    m_temp.clear();
    return true;
}

std::string AtomicOutput::WriteError() const {
    return m_writeError
               ? "tavrel-cli: cannot write " + m_target + ": " + DiskErrorText(m_writeError, FALSE)
               : "";
}

void AtomicOutput::Discard() {
    m_file.Close();
    if (!m_temp.empty()) DeleteFileA(m_temp.c_str());
    m_temp.clear();
}

}  // namespace cli
