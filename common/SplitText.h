#pragma once

#include "StringList.h"

#include <string>

namespace quelsor {

// Empties pieces, appends delimiter to text and cuts the result at every occurrence of the
// delimiter, left to right, adding each piece between two occurrences (empty pieces included).
// The appended delimiter closes the last piece and adds no empty piece after it, so the result
// is never empty: SplitText("", ...) gives one empty piece. Returns the number of pieces.
// An empty delimiter is treated as one that never occurs: the whole text is one piece.
int SplitText(const std::string& text, StringList& pieces, const std::string& delimiter);

} // namespace quelsor
