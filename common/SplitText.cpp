#include "SplitText.h"

namespace quelsor {

int SplitText(const std::string& text, StringList& pieces, const std::string& delimiter)
{
    pieces.clear();
    if (delimiter.empty()) {
        pieces.push_back(text);
        return 1;
    }
    const std::string closed = text + delimiter;
    std::size_t start = 0;
    while (start < closed.size()) {
        const std::size_t at = closed.find(delimiter, start);
        pieces.push_back(closed.substr(start, at - start));
        start = at + delimiter.size();
    }
    return static_cast<int>(pieces.size());
}

} // namespace quelsor
