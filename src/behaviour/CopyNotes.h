#pragma once

#include <string>
#include <vector>

#include "sync/SyncPass.h"

namespace kelvane::behaviour {

// Where the content a copy replaced went: "in the Trash", "in the Recycle Bin", "in
// FOLDER"; empty when it was not kept.
std::string keptPlaceWords(const platform::KeptCopy& kept);

// One line for each copy a pass made, for the status line's hover: where the replaced
// content went ("File2's previous version is in the Trash."), or, for content that had
// changes of its own, that both copies changed. Nothing for content that was not kept
// and had no changes of its own.
std::vector<std::string> replacedNotes(const sync::SyncOutcome& outcome);

// The lines of replacedNotes about content that had changes of its own, one per line;
// empty when there were none.
std::string bothChangedNotice(const sync::SyncOutcome& outcome);

}  // namespace kelvane::behaviour
