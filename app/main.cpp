// quelsor: the main window of the status request tool. Command-line arguments are ignored
// (apart from --help, --version and the toolkit's own, such as -platform).

#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "app/MessageBoxMessages.h"
#include "app/ProgramFiles.h"
#include "common/ProcessExit.h"
#include "device/QtSoundBackend.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

namespace {

// An exception that escapes an event handler is shown in a message box and the program goes
// on, as the operator expects of a desktop tool.
class QuelsorApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            quelsor::MessageBoxMessages().ShowMessage(error.what());
        } catch (...) {
            quelsor::MessageBoxMessages().ShowMessage("");
        }
        return false;
    }
};

// With QUELSOR_STARTUP_TIME set, the program prints how long it took from the start of main
// to the first paint of its window, and quits.
class StartupProbe : public QObject {
public:
    explicit StartupProbe(std::chrono::steady_clock::time_point start)
        : start_(start)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !reported_) {
            reported_ = true;
            const auto elapsed = std::chrono::steady_clock::now() - start_;
            const auto epoch = std::chrono::system_clock::now().time_since_epoch();
            std::printf("first paint after %.1f ms (at %lld ms since the epoch)\n",
                std::chrono::duration<double, std::milli>(elapsed).count(),
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(epoch).count()));
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, [] { QApplication::closeAllWindows(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::chrono::steady_clock::time_point start_;
    bool reported_ = false;
};

// The window's whole life; the application object is gone when this returns.
int RunWindow(int argc, char** argv)
{
    const auto start = std::chrono::steady_clock::now();
    QuelsorApplication app(argc, argv);
    QCoreApplication::setApplicationName(quelsor::kApplicationName);
    try {
        // The backend outlives the window, whose destruction releases the sound layer.
        quelsor::QtSoundBackend backend;
        quelsor::MainFormSetup setup;
        setup.backend = &backend;
        quelsor::ChooseProgramFiles(setup);
        auto frmMain = std::make_unique<quelsor::TfrmMain>(setup);
        StartupProbe probe(start);
        if (std::getenv("QUELSOR_STARTUP_TIME") != nullptr)
            frmMain->installEventFilter(&probe);
        frmMain->show();
        app.exec();
        // The event loop has returned, so no handler of the window is running any more.
        frmMain.reset();
    } catch (const std::exception& error) {
        quelsor::MessageBoxMessages().ShowMessage(error.what());
    } catch (...) {
        quelsor::MessageBoxMessages().ShowMessage("");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int status = quelsor::HandleInformationOptions(argc, argv); status >= 0)
        return status;
    // The threshold has been saved and the devices released: see ProcessExit.h for why the
    // process ends this way.
    quelsor::EndProcess(RunWindow(argc, argv));
}
