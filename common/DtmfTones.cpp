#include "DtmfTones.h"

namespace quelsor {

std::optional<ToneIndexPair> TonesOfKey(char key)
{
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            if (kKeypad[row][column] == key)
                return ToneIndexPair { row, 4 + column };
        }
    }
    return std::nullopt;
}

} // namespace quelsor
