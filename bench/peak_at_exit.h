#pragma once

// The peak resident size of a short-lived program, such as one printing its usage, which ends
// before anyone could read its /proc entry: the program runs traced (ptrace) and is held for a
// moment as it exits, while its address space is still there, to read its high-water mark
// (VmHWM). The tracing slows the program, so this is a run of its own, never a timed one.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/child_process.h"

namespace bench {

inline std::optional<double> peakRssMiBAtExit(std::vector<std::string> argv) {
    const std::vector<char*> arguments = pointers(argv);
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execv(arguments[0], arguments.data());  // stops with SIGTRAP once the new program is in
        _exit(127);
    }
    close(devNull);
    if (pid < 0)
        return std::nullopt;
    std::optional<double> peak;
    int status = 0;
    bool options = false;
    while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
        int signal = WSTOPSIG(status);
        if (signal == SIGTRAP) {
            if (!options) {
                ptrace(PTRACE_SETOPTIONS, pid, nullptr,
                       reinterpret_cast<void*>(PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
                options = true;
            } else if (status >> 16 == PTRACE_EVENT_EXIT) {
                peak = peakRssMiBOf(pid);
            }
            signal = 0;
        }
        // Any other signal goes on to the program.
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(signal)));
    }
    return peak;
}

}  // namespace bench
