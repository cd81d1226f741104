// Runs the built tavrel-cli as a child process, as a script would, and collects its exit code
// and output. Children that are still running when their object dies are killed and reaped.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_exit.h"

struct ToolResult {
    int exitCode = -1;  // -1 when the tool died from a signal
    int signal = 0;
    std::string out;
    std::string err;
};

// Extra environment for the child: name and value.
using ToolEnv = std::vector<std::pair<std::string, std::string>>;

class ToolProcess {
  public:
    ToolProcess() = default;
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    bool Start(const std::vector<std::string>& args, const ToolEnv& env = {});
    void Signal(int signal) const;
    bool Running() const;
    // True once the tool has ended, waiting at most milliseconds for it.
    bool WaitForEnd(int milliseconds) const { return m_end.Wait(milliseconds); }
    ToolResult Wait();
    // What the running tool has written to standard output so far.
    std::string OutputSoFar() const;

    // What the running tool is doing, as the system shows it: its descriptors that lead to
    // path (/proc/PID/fd), and whether it holds a lock on the file at path (/proc/locks).
    int DescriptorsOn(const std::string& path) const;
    bool HoldsLockOn(const std::string& path) const;
    // The new file the tool is writing in folder, nameless or under a hidden name, as a
    // /proc/PID/fd path that leads to it; "" while there is none.
    std::string FileBeingWritten(const std::string& folder) const;

  private:
    pid_t m_pid = -1;
    ChildExit m_end;
    std::string m_outPath;
    std::string m_errPath;
};

// Looks at ready() until it holds (true), or until the tool has ended or the deadline has
// passed (false); between looks it waits for the tool's end, so an end is seen at once. The
// deadline is generous: a busy machine may be slow, never wrong.
bool WaitWhileRunning(const ToolProcess& tool, const std::function<bool()>& ready,
                      int seconds = 60);

ToolResult RunTool(const std::vector<std::string>& args, const ToolEnv& env = {});

// Whether any process waits for the lock on the file at path (/proc/locks).
bool SomeoneWaitsForLockOn(const std::string& path);

// Lines in a text, not counting an empty last one.
int LineCount(const std::string& text);
