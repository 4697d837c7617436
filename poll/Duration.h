#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace quelsor {

// A polling period written as a whole number and a unit: "30s", "10m", "1h" (a bare number is
// seconds). Nothing for anything else, zero, or more than a week.
std::optional<std::chrono::seconds> ParseDuration(std::string_view text);

} // namespace quelsor
