#include "behaviour/CopyNotes.h"

#include <algorithm>

namespace kelvane::behaviour {
namespace {

using platform::KeptCopy;

std::string slotName(int slot) {
    return "File" + std::to_string(slot);
}

// "File1 and File2 both changed since the last sync. File1 is newer and replaced File2;
// File2's version is in the Trash."
std::string bothChangedLine(int source, const sync::ReplacedContent& replaced) {
    const std::string target = slotName(replaced.slot);
    const std::string where = keptPlaceWords(replaced.kept);
    return slotName(std::min(source, replaced.slot)) + " and " +
           slotName(std::max(source, replaced.slot)) + " both changed since the last sync. " +
           slotName(source) + " is newer and replaced " + target + "; " + target + "'s version " +
           (where.empty() ? "was not kept." : "is " + where + ".");
}

std::string noteOn(int source, const sync::ReplacedContent& replaced) {
    if (replaced.hadOwnChanges) {
        return bothChangedLine(source, replaced);
    }
    const std::string where = keptPlaceWords(replaced.kept);
    return where.empty() ? std::string()
                         : slotName(replaced.slot) + "'s previous version is " + where + ".";
}

}  // namespace

std::string keptPlaceWords(const KeptCopy& kept) {
    switch (kept.place) {
        case KeptCopy::Place::Trash:
            return "in the Trash";
        case KeptCopy::Place::RecycleBin:
            return "in the Recycle Bin";
        case KeptCopy::Place::Folder:
            return "in " + kept.folder;
        case KeptCopy::Place::Nowhere:
            break;
    }
    return {};
}

std::vector<std::string> replacedNotes(const sync::SyncOutcome& outcome) {
    std::vector<std::string> notes;
    for (const sync::ReplacedContent& replaced : outcome.replaced) {
        if (std::string note = noteOn(outcome.sourceSlot, replaced); !note.empty()) {
            notes.push_back(std::move(note));
        }
    }
    return notes;
}

std::string bothChangedNotice(const sync::SyncOutcome& outcome) {
    std::string notice;
    for (const sync::ReplacedContent& replaced : outcome.replaced) {
        if (replaced.hadOwnChanges) {
            notice += (notice.empty() ? "" : "\n") + bothChangedLine(outcome.sourceSlot, replaced);
        }
    }
    return notice;
}

}  // namespace kelvane::behaviour
