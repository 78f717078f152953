#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace kelvane::testing {
namespace {

int statusOf(int waitStatus) {
    return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    // Close-on-exec, so only the duplicates on standard output and standard error reach
    // the program: a daemon it starts would otherwise hold the pipe open for good.
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (spawned == 0) {
        pid_ = pid;
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        ::kill(pid_, SIGCONT);
        wait();
    }
    if (output_ >= 0) {
        ::close(output_);
    }
}

// Appends what the pipe holds next; false at the end of the output.
bool ChildProcess::readMore() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(output_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
}

std::string ChildProcess::readLine() {
    auto end = pending_.find('\n');
    while (end == std::string::npos && readMore()) {
        end = pending_.find('\n');
    }
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end == std::string::npos ? end : end + 1);
    return line;
}

std::string ChildProcess::readAll() {
    while (readMore()) {
    }
    std::string all;
    all.swap(pending_);
    return all;
}

void ChildProcess::kill() {
    signal(SIGKILL);
}

void ChildProcess::signal(int number) {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, number);
    }
}

bool ChildProcess::waitUntilStopped() {
    int waitStatus = 0;
    while (::waitpid(pid_, &waitStatus, WUNTRACED) < 0 && errno == EINTR) {
    }
    if (WIFSTOPPED(waitStatus)) {
        return true;
    }
    ended_ = true;
    status_ = statusOf(waitStatus);
    return false;
}

int ChildProcess::wait() {
    if (pid_ <= 0) {
        return -1;
    }
    if (!ended_) {
        int waitStatus = 0;
        while (::waitpid(pid_, &waitStatus, 0) < 0 && errno == EINTR) {
        }
        ended_ = true;
        status_ = statusOf(waitStatus);
    }
    return status_;
}

Ended ChildProcess::finish() {
    if (pid_ <= 0) {
        return Ended{};
    }
    std::string output = readAll();
    return Ended{wait(), std::move(output)};
}

Ended runToEnd(const std::vector<std::string>& argv) {
    ChildProcess process(argv);
    return process.finish();
}

bool commandWorks(const std::vector<std::string>& argv) {
    return runToEnd(argv).status == 0;
}

}  // namespace kelvane::testing
