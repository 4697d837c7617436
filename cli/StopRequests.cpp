#include "StopRequests.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace quelsor::cli {

namespace {

    std::atomic<bool>* gStop = nullptr;

#ifdef _WIN32
    // Runs on a thread of its own that the system starts for each event.
    BOOL WINAPI OnConsoleEvent(DWORD event)
    {
        if (gStop == nullptr)
            return FALSE;
        *gStop = true;
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT
            || event == CTRL_SHUTDOWN_EVENT) {
            // The process ends when this returns: hold it while the command finishes and exits
            // (which ends this thread too). Windows allows some 5 s.
            Sleep(4500);
        }
        return TRUE;
    }
#else
    extern "C" void OnStopSignal(int)
    {
        if (gStop != nullptr)
            *gStop = true;
    }
#endif

} // namespace

void CatchStopRequests(std::atomic<bool>& stop)
{
    gStop = &stop;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
#endif
}

} // namespace quelsor::cli
