#include "StringList.h"

namespace quelsor {

namespace {
    char LowerAscii(char c)
    {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

int IndexOfText(const StringList& list, std::string_view text)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (SameText(list[i], text))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace quelsor
