#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace kelvane::platform {

// Fills the buffer with the next bytes of one open file: fewer than its size only at the
// end of the file.
using PieceReader = std::function<Result<std::size_t>(std::vector<char>& buffer)>;

// Whether two open files hold the same bytes, read a piece of each at a time so that a
// difference near the start costs one piece; `keepGoing` is asked before each piece, and a
// stop is an error that says `whatStops`.
Result<bool> sameBytesInPieces(const PieceReader& first, const PieceReader& second,
                               const std::function<bool()>& keepGoing,
                               const std::string& whatStops);

}  // namespace kelvane::platform
