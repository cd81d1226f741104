// The output of convert: buffered writes into a file that replaces its target only when
// complete, so a failure or a cancel leaves the target as it was and nothing else behind.
#pragma once

#include <string>

#include "engine/track_codec.h"
#include "platform/replace_file.h"

namespace cli {

class AtomicOutput final : public ByteSink {
  public:
    AtomicOutput() = default;
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Starts the replacement; false with a one-line reason. Without mayWriteInPlace a folder
    // that takes no new file is a failure: for a writer whose text holds the target's own.
    bool Open(const std::string& target, std::string* error, bool mayWriteInPlace = true);
    // The target's folder takes no new file: the target itself is being overwritten.
    bool InPlace() const { return m_file.InPlace(); }
    int Write(const void* data, std::uint32_t count) override;
    // Flushes and puts the file in place: a ReplacementFile::CommitResult. Unless Committed,
    // a one-line reason; after CommitFailed nothing is left.
    int Commit(std::string* message);

    long long written() const { return m_written; }
    // Why the first failed write failed, "" while none did.
    std::string WriteError() const;

  private:
    int Flush();
    std::string Failure(DWORD code) const;

    std::string m_target;
    platform::ReplacementFile m_file;
    long long m_written = 0;
    DWORD m_writeError = 0;
    // Records are small and come four writes at a time; they reach the file in large pieces.
    unsigned char m_buffer[65536];
    std::uint32_t m_buffered = 0;
};

// bytes put in place of path whole, never over it in place when mayWriteInPlace is false (a
// text that holds the older file's own, which an interrupted overwrite would lose); false with
// a one-line reason.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error,
                    bool mayWriteInPlace = false);

}  // namespace cli
