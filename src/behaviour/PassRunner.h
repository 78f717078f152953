#pragma once

#include <functional>
#include <memory>

#include "behaviour/Face.h"
#include "platform/FileSystem.h"
#include "sync/SyncPass.h"

namespace kelvane::behaviour {

// How far a copy has come, in whole percent; an empty file counts as done.
int copiedPercent(const sync::CopyProgress& progress);

// Runs one sync pass at a time on the face's second thread and brings its progress and
// outcome back to the user-interface thread. What the thread sends back after the
// runner is gone, or for a pass it no longer runs, is dropped.
class PassRunner {
  public:
    using Progressed = std::function<void(const sync::CopyProgress&)>;
    // The outcome and the slots as they were when the pass began.
    using Finished = std::function<void(const sync::SyncOutcome&, const sync::FileSlots&)>;

    // Whether an outcome of equal times is sent back. One that changes nothing on screen
    // need not wake the window: an idle auto sync then costs one wake-up a tick, the
    // timer's own.
    enum class EqualTimes { Told, Untold };

    PassRunner(Face& face, platform::FileSystem& fileSystem);
    ~PassRunner();
    PassRunner(const PassRunner&) = delete;
    PassRunner& operator=(const PassRunner&) = delete;

    // `progressed` hears at most once a percent. An outcome that brings new in-step
    // states is always sent back.
    void start(const sync::FileSlots& slots, const sync::PassTerms& terms, EqualTimes equalTimes,
               Progressed progressed, Finished finished);
    // Asks the running copy to stop at its next chunk. True when an outcome is still to
    // come; false when there was no pass, or it had already ended untold, and then no
    // outcome ever comes.
    bool cancel();
    bool running() const;

  private:
    struct Pass;
    // What the pass's thread holds on to: the face, the file system, its pass, and the
    // runner only while it exists.
    struct Thread {
        Face& face;
        platform::FileSystem& fileSystem;
        std::weak_ptr<PassRunner*> runner;
        std::shared_ptr<Pass> pass;
    };
    static void work(const Thread& thread);
    static void sendBack(const Thread& thread, std::function<void(PassRunner&)> task);

    Face& face_;
    platform::FileSystem& fileSystem_;
    std::shared_ptr<Pass> current_;
    std::shared_ptr<PassRunner*> self_ = std::make_shared<PassRunner*>(this);
};

}  // namespace kelvane::behaviour
