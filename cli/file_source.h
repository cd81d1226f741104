// An image file read from the front, as a ByteSource for the engine's record decoder, that
// knows where it is and tells an end of file from a failed read.
#pragma once

#include <string>

#include "engine/track_codec.h"
#include "platform/handle.h"

namespace cli {

class FileSource final : public ByteSource {
  public:
    // False with the system's code in the last-error value.
    bool Open(const std::string& path);
    int Read(void* data, std::uint32_t count) override;
    // Reads up to count bytes; how many arrived.
    DWORD ReadSome(void* data, std::uint32_t count);
    void Rewind();

    long long size() const { return m_size; }
    long long position() const { return m_position; }
    bool failed() const { return m_error != 0; }
    DWORD error() const { return m_error; }

  private:
    UniqueHandle m_file;
    long long m_size = 0;
    long long m_position = 0;
    DWORD m_error = 0;
};

}  // namespace cli
