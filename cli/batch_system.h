// What a batch asks of the system beyond the drive's medium: the drive's maker and model for
// the info files, and the end of the batch typed at the console.
#pragma once

#include <memory>
#include <string>

namespace cli {

struct DriveModel {
    std::string vendor, model;
};

// The maker and model of the drive at device, empty where the system does not say.
DriveModel DescribeDevice(const std::string& device);

// The keys that end the batch at the console, as the prompt names them.
extern const char* const kEndOfInputKeys;

// Standard input as the end of the batch: the end typed at a terminal (Ctrl+D), the end of a
// pipe, or standard input that is neither (a file, the null device), which is at its end from
// the start. With terminalOnly (a batch given --count, which runs unattended) only the end
// typed at a terminal counts.
class BatchInput {
  public:
    explicit BatchInput(bool terminalOnly);
    ~BatchInput();
    BatchInput(const BatchInput&) = delete;
    BatchInput& operator=(const BatchInput&) = delete;

    bool Ended();
    // Waits ms, or less when something is typed.
    void Wait(int ms);

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace cli
