#include "common/ProcessExit.h"

#include <cstdio>
#include <cstdlib>

namespace quelsor {

void EndProcess(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace quelsor
