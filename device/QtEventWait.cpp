#include "device/QtEventWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>

namespace quelsor {

namespace {

    // The GUI thread's dispatcher, for WakeQtGuiThread (found on the GUI thread: other threads
    // only read it).
    std::atomic<QAbstractEventDispatcher*> guiDispatcher { nullptr };

    QAbstractEventDispatcher* GuiDispatcher()
    {
        if (auto* dispatcher = guiDispatcher.load())
            return dispatcher;
        if (auto* app = QCoreApplication::instance()) {
            auto* dispatcher = QAbstractEventDispatcher::instance(app->thread());
            guiDispatcher.store(dispatcher);
            return dispatcher;
        }
        return nullptr;
    }

} // namespace

bool AttachQtGuiThread() { return GuiDispatcher() != nullptr; }

WaitResult WaitWithQtEvents(NotificationEvent& event)
{
    GuiDispatcher();
    if (event.TryConsume())
        return WaitResult::Notified;
    // Blocks until something is dispatched; a Signal() of the event wakes the dispatcher, and a
    // wake-up that comes before this call is kept by the dispatcher, so none is lost.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return event.TryConsume() ? WaitResult::Notified : WaitResult::Input;
}

void WaitWithoutUserInput(NotificationEvent& event)
{
    GuiDispatcher();
    while (!event.TryConsume())
        QCoreApplication::processEvents(
            QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
}

void WakeQtGuiThread()
{
    if (auto* dispatcher = guiDispatcher.load())
        dispatcher->wakeUp();
}

} // namespace quelsor
