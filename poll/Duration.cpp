#include "Duration.h"

#include <charconv>
#include <system_error>

namespace quelsor {

std::optional<std::chrono::seconds> ParseDuration(std::string_view text)
{
    long long count = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, count);
    if (error != std::errc() || end == first || count <= 0)
        return std::nullopt;
    const std::string_view unit(end, static_cast<std::size_t>(last - end));
    long long scale = 0;
    if (unit.empty() || unit == "s")
        scale = 1;
    else if (unit == "m")
        scale = 60;
    else if (unit == "h")
        scale = 3600;
    else
        return std::nullopt;
    constexpr long long kWeek = 7 * 24 * 3600;
    if (count > kWeek / scale)
        return std::nullopt;
    return std::chrono::seconds(count * scale);
}

} // namespace quelsor
