#include "tests/support/child_exit.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

ChildExit::ChildExit(pid_t pid) {
    if (pid > 0) m_fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

ChildExit::~ChildExit() {
    if (m_fd >= 0) close(m_fd);
}

ChildExit::ChildExit(ChildExit&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

ChildExit& ChildExit::operator=(ChildExit&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool ChildExit::Wait(int milliseconds) const {
    if (m_fd < 0) return true;
    pollfd wait{m_fd, POLLIN, 0};
    int ready;
    do ready = poll(&wait, 1, milliseconds);
    while (ready < 0 && errno == EINTR);
    return ready != 0;
}
