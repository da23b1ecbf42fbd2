// Child processes on POSIX: posix_spawn with pipes, poll, waitpid.
#include "cli/ChildProcess.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vorn::platform {

int StartChild(const std::string& program, const std::vector<std::string>& arguments, ChildProcess* child) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return errno;
    if (pipe2(err, O_CLOEXEC) != 0) {
        int e = errno;
        close(out[0]);
        close(out[1]);
        return e;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        close(out[0]);
        close(err[0]);
        return rc;
    }
    child->pid = pid;
    child->out = out[0];
    child->err = err[0];
    child->exitStatus = -1;
    return 0;
}

void ReadChildren(std::vector<ChildProcess>& children, int waitMs, std::vector<std::string>* out,
                  std::vector<std::string>* err) {
    std::vector<pollfd> fds;
    std::vector<std::pair<size_t, bool>> owners;  // child, is stderr
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i].out >= 0) {
            fds.push_back({static_cast<int>(children[i].out), POLLIN, 0});
            owners.emplace_back(i, false);
        }
        if (children[i].err >= 0) {
            fds.push_back({static_cast<int>(children[i].err), POLLIN, 0});
            owners.emplace_back(i, true);
        }
    }
    if (!fds.empty() && poll(fds.data(), fds.size(), waitMs) > 0) {
        for (size_t k = 0; k < fds.size(); ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            auto [i, isErr] = owners[k];
            char buffer[4096];
            ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            if (n > 0) {
                ((isErr ? *err : *out)[i]).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                close(fds[k].fd);
                (isErr ? children[i].err : children[i].out) = -1;
            }
        }
    }
    for (ChildProcess& c : children) {
        if (c.out >= 0 || c.err >= 0 || c.exitStatus >= 0) continue;
        int status = 0;
        pid_t done;
        do done = waitpid(static_cast<pid_t>(c.pid), &status, 0);
        while (done < 0 && errno == EINTR);
        c.exitStatus = done < 0 ? 127 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
}

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

std::string OwnProgramFile() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return std::string(path, static_cast<size_t>(n));
}

}  // namespace vorn::platform
