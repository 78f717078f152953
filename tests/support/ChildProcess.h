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

// A program started by a test with its output on a pipe, so the test can wait for a
// line, stop or kill it at a moment of its choosing, and look at how it ended.
class ChildProcess {
  public:
    // Starts argv[0] (searched in PATH). started() is false when it could not be run.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // The next line of output without its line end; empty at the end of the output.
    std::string readLine();
    // Everything the program prints until it ends.
    std::string readAll();
    void kill();
    void signal(int number);
    // Waits until the program stops itself (SIGSTOP); false when it ended instead.
    bool waitUntilStopped();
    // Waits for the end: the exit code, or 128 + the signal that ended it.
    int wait();
    // Reads everything the program prints and waits for its end.
    Ended finish();

  private:
    bool readMore();

    pid_t pid_ = -1;
    int output_ = -1;
    bool ended_ = false;
    int status_ = -1;
    std::string pending_;
};

// Runs a program to its end.
Ended runToEnd(const std::vector<std::string>& argv);
// True when the program runs and exits with 0.
bool commandWorks(const std::vector<std::string>& argv);

}  // namespace kelvane::testing
