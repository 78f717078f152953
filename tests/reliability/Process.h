#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kelvane::testing {

// How a program ended: its exit code, or 128 + the signal that ended it, and what it
// printed on standard output and standard error.
struct Ended {
    int status = -1;
    std::string output;
};

// A program started by a test, with its output on a pipe, so the test can stop it,
// change the world, continue it and look at how it ended.
class Process {
  public:
    // Starts argv[0] (searched in PATH). started() is false when it could not be run.
    explicit Process(const std::vector<std::string>& argv);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits until the program stops itself (SIGSTOP); false when it ended instead.
    bool waitUntilStopped();
    void signal(int number);
    // Reads everything the program prints and waits for its end.
    Ended finish();

  private:
    std::string readAll();

    pid_t pid_ = -1;
    int output_ = -1;
    bool ended_ = false;
    int status_ = -1;
};

// Runs a program to its end.
Ended runToEnd(const std::vector<std::string>& argv);

// True when the program can be started and exits with status 0.
bool commandWorks(const std::vector<std::string>& argv);

}  // namespace kelvane::testing
