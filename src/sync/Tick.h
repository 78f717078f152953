#pragma once

namespace kelvane::sync {

// A file's tick box: off, on, or greyed (a state only the settings file can set; the
// window shows it, and a pass leaves such a slot out as it does an unticked one).
enum class Tick { Off, On, Greyed };

}  // namespace kelvane::sync
