#include "ReopenRequests.h"

#ifndef _WIN32
#include <csignal>
#endif

namespace quelsor::cli {

namespace {

    std::atomic<bool>* gReopen = nullptr;

#ifndef _WIN32
    extern "C" void OnReopenSignal(int)
    {
        if (gReopen != nullptr)
            *gReopen = true;
    }
#endif

} // namespace

void CatchReopenRequests(std::atomic<bool>& reopen)
{
    gReopen = &reopen;
#ifndef _WIN32
    std::signal(SIGHUP, OnReopenSignal);
#endif
}

} // namespace quelsor::cli
