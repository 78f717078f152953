#include "platform/PieceComparison.h"

#include <algorithm>

namespace kelvane::platform {

Result<bool> sameBytesInPieces(const PieceReader& first, const PieceReader& second,
                               const std::function<bool()>& keepGoing,
                               const std::string& whatStops) {
    constexpr std::size_t kPiece = 1 << 20;
    std::vector<char> left(kPiece);
    std::vector<char> right(kPiece);
    for (;;) {
        if (keepGoing && !keepGoing()) {
            return Error{"The comparison of " + whatStops + " was stopped"};
        }
        auto gotLeft = first(left);
        if (!gotLeft) {
            return Error{gotLeft.reason()};
        }
        auto gotRight = second(right);
        if (!gotRight) {
            return Error{gotRight.reason()};
        }
        const auto size = static_cast<std::ptrdiff_t>(gotLeft.value());
        if (gotLeft.value() != gotRight.value() ||
            !std::equal(left.begin(), left.begin() + size, right.begin())) {
            return false;
        }
        if (gotLeft.value() < kPiece) {
            return true;
        }
    }
}

}  // namespace kelvane::platform
