#pragma once

#include <string>
#include <string_view>

#include "sync/Tick.h"

namespace kelvane::settings {

// The numeric value of the number that leads a text, read the way Visual Basic's Val does:
// blanks anywhere in it are skipped; then an optional sign, digits, an optional "." with
// digits, and an optional exponent ("E" or "D", sign, digits). Reading stops at the first
// other character. A text with no leading number, or one too large for a double, gives 0,
// so no stored text can stop the program.
double leadingNumber(std::string_view text);

// The nearest whole number, an exact half going to the even neighbour (1.5 -> 2, 0.5 -> 0).
double roundHalfEven(double value);

// A check box state from its stored text: 0, 1 or the greyed 2; anything else clears it.
int checkBoxStateFrom(std::string_view text);

// A tick from its stored number (0, 1 or 2), and the number it is stored as.
sync::Tick tickFromStored(int state);
int storedTick(sync::Tick tick);

// A window position as whole twips ("-150"); a position that is no finite number gives "0".
std::string wholeTwipsText(double twips);

}  // namespace kelvane::settings
