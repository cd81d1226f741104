// polkit's text agent (pkttyagent) for this process, for as long as the object lives: how a
// user at a terminal answers the question a desktop asks in a window. Outside a desktop
// session nobody else could ask it, and the service would refuse at once.
#pragma once

#include <sys/types.h>

namespace platform {

class TerminalAuthenticationAgent {
  public:
    // Starts the agent and waits until it is registered with polkit. When it cannot be
    // started or registered (not installed, no polkit), the object does nothing.
    TerminalAuthenticationAgent();
    ~TerminalAuthenticationAgent();
    TerminalAuthenticationAgent(const TerminalAuthenticationAgent&) = delete;
    TerminalAuthenticationAgent& operator=(const TerminalAuthenticationAgent&) = delete;

    bool Running() const { return m_pid > 0; }

  private:
    pid_t m_pid = -1;
};

}  // namespace platform
