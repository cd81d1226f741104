// A file written beside its target and renamed over it only when complete and on the disk:
// a failure or a cancel leaves the target as it was and nothing else behind.
#pragma once

#include <string>

#include "engine/track_codec.h"
#include "platform/handle.h"

namespace cli {

class AtomicOutput final : public ByteSink {
  public:
    AtomicOutput() = default;
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Creates the temporary file; false with a one-line reason.
    bool Open(const std::string& target, std::string* error);
    int Write(const void* data, std::uint32_t count) override;
    // Flushes, closes and renames; false with a one-line reason, and then nothing is left.
    bool Commit(std::string* error);

    long long written() const { return m_written; }
    // Why the first failed write failed, "" while none did.
    std::string WriteError() const;

  private:
    void Discard();
    int Flush();

    std::string m_target;
    std::string m_temp;
    UniqueHandle m_file;
    long long m_written = 0;
    DWORD m_writeError = 0;
    // Records are small and come four writes at a time; they reach the file in large pieces.
    unsigned char m_buffer[65536];
    std::uint32_t m_buffered = 0;
};

}  // namespace cli
