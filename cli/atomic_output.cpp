#include "cli/atomic_output.h"

#include <cerrno>
#include <cstring>

#include "drive/disk_errors.h"
#include "platform/error_codes.h"
#include "platform/file_api.h"
#include "platform/last_error.h"

namespace cli {

bool AtomicOutput::Open(const std::string& target, std::string* error, bool mayWriteInPlace) {
    m_target = target;
    if (m_file.Open(target, mayWriteInPlace)) return true;
    *error = "tavrel-cli: cannot create a file beside " + target + ": " +
             DiskErrorText(GetLastError(), FALSE);
    return false;
}

int AtomicOutput::Flush() {
    if (m_buffered == 0) return 1;
    DWORD done = 0;
    BOOL ok = WriteFile(m_file.Handle(), m_buffer, m_buffered, &done, nullptr);
    if (!ok || done != m_buffered) {
        // A write that stops short without an error means the disk is full.
        if (!m_writeError) m_writeError = ok ? platform::kErrorDiskFull : GetLastError();
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
        BOOL ok = WriteFile(m_file.Handle(), data, count, &done, nullptr);
        if (!ok || done != count) {
            if (!m_writeError) m_writeError = ok ? platform::kErrorDiskFull : GetLastError();
            return 0;
        }
    } else {
        std::memcpy(m_buffer + m_buffered, data, count);
        m_buffered += count;
    }
    m_written += count;
    return 1;
}

int AtomicOutput::Commit(std::string* message) {
    Flush();
    if (m_writeError) {
        *message = Failure(m_writeError);
        m_file.Abandon();
        return platform::ReplacementFile::CommitFailed;
    }
    int result = m_file.Commit();
    if (result == platform::ReplacementFile::CommitFailed)
        *message = Failure(GetLastError());
    else if (result == platform::ReplacementFile::CommittedNotDurable)
        *message = "tavrel-cli: " + m_target +
                   " was replaced, but the system could not confirm that it is safely on the "
                   "disk: " +
                   DiskErrorText(GetLastError(), FALSE);
    return result;
}

std::string AtomicOutput::WriteError() const {
    return m_writeError ? Failure(m_writeError) : "";
}

std::string AtomicOutput::Failure(DWORD code) const {
    return "tavrel-cli: cannot write " + m_target + ": " + DiskErrorText(code, FALSE);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error,
                    bool mayWriteInPlace) {
    AtomicOutput out;
    if (!out.Open(path, error, mayWriteInPlace)) return false;
    if (!out.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()))) {
        *error = out.WriteError();
        return false;
    }
    const int result = out.Commit(error);
    return result == platform::ReplacementFile::Committed ||
           result == platform::ReplacementFile::CommittedNotDurable;
}

}  // namespace cli
