#include "platform/SafeReplace.h"

#include <algorithm>

namespace kelvane::platform {
namespace {

Status fillInChunks(ReplaceSteps& steps, std::uint64_t size, const std::string& source,
                    const CopyProgressHandler& progress) {
    std::uint64_t at = 0;  // everything before it is copied or a hole
    const auto stopped = [&] { return progress && !progress(at, size); };
    const Error stop{"The copy onto a file beside " + source + " was stopped"};
    while (at < size) {
        if (stopped()) {
            return stop;
        }
        const auto range = steps.nextData(at);
        if (!range || range->start >= size) {
            at = size;
            break;
        }
        const ByteRange chunk{range->start,
                              std::min({range->end, size, range->start + kCopyChunk})};
        if (auto copied = steps.copyRange(chunk); !copied) {
            return copied;
        }
        at = chunk.end;
    }
    if (stopped()) {
        return stop;
    }
    return {};
}

}  // namespace

Result<CopiedTimes> replaceSafely(ReplaceSteps& steps, const std::string& source,
                                  const CopyProgressHandler& progress) {
    steps.removeStaleTemporaries();
    const auto size = steps.openContent();
    if (!size) {
        return Error{size.reason()};
    }
    for (auto step : {&ReplaceSteps::checkTarget, &ReplaceSteps::createTemporary}) {
        if (auto done = (steps.*step)(); !done) {
            return Error{done.reason()};
        }
    }
    if (auto filled = fillInChunks(steps, size.value(), source, progress); !filled) {
        return Error{filled.reason()};
    }
    if (auto finished = steps.finishTemporary(size.value()); !finished) {
        return Error{finished.reason()};
    }
    if (auto unchanged = steps.checkTargetUnchanged(); !unchanged) {
        return Error{unchanged.reason()};
    }
    const auto kept = steps.keepReplaced();
    if (!kept) {
        return Error{kept.reason()};
    }
    if (auto installed = steps.install(); !installed) {
        steps.dropKept();
        return Error{installed.reason()};
    }
    auto settled = steps.settle();
    if (settled) {
        settled.value().kept = kept.value();
    }
    return settled;
}

}  // namespace kelvane::platform
