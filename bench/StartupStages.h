#pragma once

#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

namespace kelvane::bench {

// With --stages, a start-up prints how long each of its stages took, in microseconds
// since main() began, one "stage microseconds" line each on standard error.
class StartupStages {
  public:
    StartupStages(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) {
            enabled_ = enabled_ || std::strcmp(argv[i], "--stages") == 0;
        }
        clock_.start();
    }
    void reached(const char* stage) const {
        if (enabled_) {
            std::fprintf(stderr, "%s %lld\n", stage,
                         static_cast<long long>(clock_.nsecsElapsed() / 1000));
        }
    }

  private:
    bool enabled_ = false;
    QElapsedTimer clock_;
};

}  // namespace kelvane::bench
