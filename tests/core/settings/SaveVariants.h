#pragma once

#include <string>

#include "settings/LeadingNumber.h"
#include "settings/SettingsFile.h"

namespace kelvane::testing {

// Two clearly different sets of settings that the saver process writes in turn. The long
// last-sync line makes each save a sizeable write, so a kill has room to land inside it.
inline settings::AppSettings saveVariant(int which) {
    settings::AppSettings values;
    values.File1 = which == 0 ? "/data/old/notes.txt" : "/data/new/notes.txt";
    values.File3_Selected = settings::tickFromStored(which);
    values.LastSyncEvent = std::string(256 * 1024, which == 0 ? 'o' : 'n');
    values.FormTop = which == 0 ? 150 : 3000;
    return values;
}

}  // namespace kelvane::testing
