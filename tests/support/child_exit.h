// The end of a child process, as something to wait for: a pidfd becomes readable when the
// child exits, so a wait ends at that moment and not at the next look. The child is not
// reaped; its owner still calls waitpid.
#pragma once

#include <sys/types.h>

class ChildExit {
  public:
    explicit ChildExit(pid_t pid = -1);
    ~ChildExit();
    ChildExit(const ChildExit&) = delete;
    ChildExit& operator=(const ChildExit&) = delete;
    ChildExit(ChildExit&& other) noexcept;
    ChildExit& operator=(ChildExit&& other) noexcept;

    // True once the child has exited (or when there is no child to wait for), waiting at most
    // milliseconds for it; -1 waits for as long as it takes.
    bool Wait(int milliseconds) const;

  private:
    int m_fd = -1;
};
