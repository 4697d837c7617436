#include "Commands.h"

namespace quelsor::cli {

bool WantsHelp(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help")
            return true;
    }
    return false;
}

} // namespace quelsor::cli
