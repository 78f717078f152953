#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kelvane::testing {

// A program started with its standard output on a pipe, so a test can wait for a line,
// kill it at a moment of its choosing and look at how it ended.
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
    // Waits for the end: the exit code, or 128 + the signal that ended it.
    int wait();

  private:
    bool readMore();

    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
};

}  // namespace kelvane::testing
