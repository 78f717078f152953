#include "Process.h"

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

Process::Process(const std::vector<std::string>& argv) {
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
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
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

Process::~Process() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        ::kill(pid_, SIGCONT);
        finish();
    }
    if (output_ >= 0) {
        ::close(output_);
    }
}

bool Process::waitUntilStopped() {
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

void Process::signal(int number) {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, number);
    }
}

std::string Process::readAll() {
    std::string all;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(output_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return all;
        }
        all.append(buffer, static_cast<std::size_t>(got));
    }
}

Ended Process::finish() {
    if (pid_ <= 0) {
        return Ended{};
    }
    Ended ended{-1, readAll()};
    if (!ended_) {
        int waitStatus = 0;
        while (::waitpid(pid_, &waitStatus, 0) < 0 && errno == EINTR) {
        }
        ended_ = true;
        status_ = statusOf(waitStatus);
    }
    ended.status = status_;
    return ended;
}

Ended runToEnd(const std::vector<std::string>& argv) {
    Process process(argv);
    return process.finish();
}

bool commandWorks(const std::vector<std::string>& argv) {
    return runToEnd(argv).status == 0;
}

}  // namespace kelvane::testing
