#include "behaviour/PassRunner.h"

#include <atomic>
#include <utility>

namespace kelvane::behaviour {

int copiedPercent(const sync::CopyProgress& progress) {
    return progress.totalBytes == 0
               ? 100
               : static_cast<int>(progress.copiedBytes * 100 / progress.totalBytes);
}

// One pass on its way: what the worker thread shares with the user-interface thread.
struct PassRunner::Pass {
    sync::FileSlots slots;
    sync::PassTerms terms;
    EqualTimes equalTimes = EqualTimes::Told;
    Progressed progressed;
    Finished finished;
    std::atomic<bool> cancelled{false};
    // Set by the pass when it ended untold; the window reads it at its next look.
    std::atomic<bool> endedUntold{false};
    int lastPercent = -1;  // the worker thread's own
    // A stop asked for after the pass had ended untold: an outcome that still comes is
    // not waited for by anyone. Only the user-interface thread touches it.
    bool abandoned = false;

    // The pass's side: true when it ends without anything to send back. A stop asked for
    // meanwhile is always answered, so whoever waits for it goes on.
    bool endsUntold(const sync::SyncOutcome& outcome) {
        if (equalTimes != EqualTimes::Untold || outcome.result != sync::SyncResult::Equal ||
            outcome.inStep) {
            return false;
        }
        endedUntold = true;
        return !cancelled;
    }
};

PassRunner::PassRunner(Face& face, platform::FileSystem& fileSystem)
    : face_(face), fileSystem_(fileSystem) {}

PassRunner::~PassRunner() = default;

void PassRunner::start(const sync::FileSlots& slots, const sync::PassTerms& terms,
                       EqualTimes equalTimes, Progressed progressed, Finished finished) {
    auto pass = std::make_shared<Pass>();
    pass->slots = slots;
    pass->terms = terms;
    pass->equalTimes = equalTimes;
    pass->progressed = std::move(progressed);
    pass->finished = std::move(finished);
    current_ = pass;
    face_.runInBackground([thread = Thread{face_, fileSystem_, self_, pass}] { work(thread); });
}

bool PassRunner::running() const {
    return current_ != nullptr && !current_->endedUntold;
}

// The stop is asked for before the untold end is looked at, and the pass looks the other
// way round, so one of the two always sees the other: an outcome cannot be lost.
bool PassRunner::cancel() {
    if (!current_) {
        return false;
    }
    current_->cancelled = true;
    if (current_->endedUntold) {
        current_->abandoned = true;
        return false;
    }
    return true;
}

// On the pass's thread: it touches only the face's thread handoff, the file system and
// the pass's own state; the runner is reached only on the user-interface thread.
void PassRunner::work(const Thread& thread) {
    Pass& pass = *thread.pass;
    sync::PassControl control;
    control.cancelled = [&pass] { return pass.cancelled.load(); };
    control.progressed = [&thread, &pass](const sync::CopyProgress& progress) {
        // At most one message a percent, so a fast copy does not flood the window.
        const int percent = copiedPercent(progress);
        if (std::exchange(pass.lastPercent, percent) != percent) {
            sendBack(thread, [&pass, progress](PassRunner&) { pass.progressed(progress); });
        }
    };
    const sync::SyncOutcome outcome =
        sync::syncSelectedFiles(pass.slots, thread.fileSystem, control, pass.terms);
    if (!pass.endsUntold(outcome)) {
        sendBack(thread, [&pass, outcome](PassRunner& runner) {
            runner.current_.reset();
            pass.finished(outcome, pass.slots);
        });
    }
}

// The task runs only while the runner exists and still runs this pass; it holds the pass
// itself, so the references it was given stay valid.
void PassRunner::sendBack(const Thread& thread, std::function<void(PassRunner&)> task) {
    thread.face.runOnUiThread([runner = thread.runner, pass = thread.pass, task = std::move(task)] {
        const auto alive = runner.lock();
        if (alive && (*alive)->current_ == pass && !pass->abandoned) {
            task(**alive);
        }
    });
}

}  // namespace kelvane::behaviour
