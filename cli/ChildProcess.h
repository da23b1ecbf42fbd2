#pragma once
// Child processes with their output on pipes, for the bench update. One backend file per
// platform (ChildProcessPosix.cpp here).
#include <cstdint>
#include <string>
#include <vector>

namespace vorn::platform {

struct ChildProcess {
    long pid = 0;
    intptr_t out = -1;  // its standard output, read side; -1 once it closed
    intptr_t err = -1;  // its standard error, the same
    int exitStatus = -1;  // once it ended: its exit status, or 128 + the signal that ended it
};

// Starts `program` with `arguments` (argv[1] on), standard input from the null device,
// standard output and error on pipes. 0, or the platform's error number.
int StartChild(const std::string& program, const std::vector<std::string>& arguments, ChildProcess* child);

// Waits up to `waitMs` for output of any child and appends what came to `out[i]` and
// `err[i]`; closes and marks a pipe at its end. A child whose pipes both ended is waited
// for, which sets its exit status.
void ReadChildren(std::vector<ChildProcess>& children, int waitMs, std::vector<std::string>* out,
                  std::vector<std::string>* err);

// Writing to a pipe whose reader is gone fails with an error instead of ending the
// process (POSIX sends SIGPIPE; Windows has no such signal).
void IgnoreBrokenPipe();

// The running program's own file, to start it again; empty when it cannot be told.
std::string OwnProgramFile();

}  // namespace vorn::platform
