#include "qt/SessionEndWatch.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include "platform/TerminationSignal.h"
#include "qt/Dialogs.h"

namespace kelvane::qt {

SessionEndWatch::SessionEndWatch(Dialogs& dialogs) : dialogs_(dialogs) {
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { sessionEnds(); });
    if (const int descriptor = platform::terminationSignalDescriptor(); descriptor >= 0) {
        signals_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
        connect(signals_.get(), &QSocketNotifier::activated, this, &SessionEndWatch::signalled);
    }
}

SessionEndWatch::~SessionEndWatch() = default;

void SessionEndWatch::signalled() {
    // Read the signal away, so the notifier fires again on the next one and not before.
    platform::acknowledgeTerminationSignals();
    sessionEnds();
}

void SessionEndWatch::sessionEnds() {
    // Boxes first: each one's loop returns as soon as this handler does, and any box the
    // shutdown would open is answered at once instead of being shown.
    dialogs_.dismissAll();
    if (onSessionEnd) {
        onSessionEnd();
    }
}

}  // namespace kelvane::qt
