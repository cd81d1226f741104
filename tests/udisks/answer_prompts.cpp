// Runs a command on a terminal of its own, as a person at a keyboard would: everything written
// to the terminal is copied to standard output, and each "Password:" asked there is answered.
// Usage: tavrel-answer-prompts [--background] ANSWER COMMAND [ARG...]; exits with the command's
// status. With --background the command runs as "COMMAND &" in an interactive shell would: in a
// process group of its own, not the terminal's foreground one.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const bool background = argc > 1 && std::strcmp(argv[1], "--background") == 0;
    if (background) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s [--background] ANSWER COMMAND [ARG...]\n", argv[0]);
        return 64;
    }
    const std::string answer = std::string(argv[1]) + "\n";
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child < 0) {
        std::perror("forkpty");
        return 70;
    }
    if (child == 0 && background) {
        // The terminal's session leader stays in the foreground and waits for its job.
        pid_t job = fork();
        if (job == 0) {
            setpgid(0, 0);
            execvp(argv[2], argv + 2);
            std::perror(argv[2]);
            _exit(127);
        }
        setpgid(job, job);
        int jobStatus = 0;
        while (job > 0 && waitpid(job, &jobStatus, 0) < 0 && errno == EINTR) {
        }
        _exit(job < 0                ? 70
              : WIFEXITED(jobStatus) ? WEXITSTATUS(jobStatus)
                                     : 128 + WTERMSIG(jobStatus));
    }
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    std::string seen;  // since the last answer
    char buffer[4096];
    int status = 0;
    bool ended = false;
    bool asked = false;
    for (;;) {
        // A person types once the prompt hides what is typed: an answer sent earlier is thrown
        // away when the agent turns echo off (TCSAFLUSH), and the agent waits for ever.
        termios modes;
        if (asked && tcgetattr(terminal, &modes) == 0 && !(modes.c_lflag & ECHO)) {
            if (write(terminal, answer.data(), answer.size()) < 0) break;
            asked = false;
        }
        // What the command started may keep the terminal open after it ended: then what is
        // left to read is read, and that is all.
        pollfd wait{terminal, POLLIN, 0};
        int ready = poll(&wait, 1, ended ? 0 : 50);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            if (ended) break;
            ended = waitpid(child, &status, WNOHANG) == child;
            continue;
        }
        ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // EIO once everything closed the terminal
        fwrite(buffer, 1, static_cast<size_t>(n), stdout);
        std::fflush(stdout);
        seen.append(buffer, static_cast<size_t>(n));
        if (seen.find("Password:") != std::string::npos) {
            asked = true;
            seen.clear();
        }
    }
    while (!ended && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
