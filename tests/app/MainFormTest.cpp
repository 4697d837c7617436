// The main window driven like an operator would, over the simulated audio link: the device at
// the other end hears the played command and answers through the capture side.

#include "app/MainForm.h"
#include "audio/DtmfDetector.h"
#include "device/QtEventWait.h"
#include "sound/SoundLayer.h"
#include "tests/support/SimulatedLink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::SimulatedLink;

    const char* const kWorkedExampleIni = "[General]\n"
                                          "Seuil=170\n"
                                          "[SEQ1_1234_Etat general]\n"
                                          "LGSEQ=9\n"
                                          "Z1=Tension,BIN,0,8,Z1/10\n"
                                          "Z2=Moteur,BIN,8,1\n"
                                          "Z2_0=0,Arret\n"
                                          "Z2_1=1,Marche\n"
                                          "[SEQ2_*5#_Compteur]\n"
                                          "LGSEQ=7\n"
                                          "Z10=Compteur,BIN,0,16\n";

    class RecordingMessages : public IOperatorMessages {
    public:
        std::vector<std::string> texts;
        void ShowMessage(const std::string& text) override { texts.push_back(text); }
    };

    // The simulated link, with a hook run when the capture device is released (by StopCapture).
    class ObservedLink : public SimulatedLink {
    public:
        std::function<void()> onRelease;
        void ReleaseCaptureDevice() override
        {
            if (onRelease)
                onRelease();
            SimulatedLink::ReleaseCaptureDevice();
        }
        // Wait as the Qt backend does (the GUI thread's event loop, woken by the link's thread).
        bool qtWait = false;
        WaitResult WaitForNotification(NotificationEvent& event) override
        {
            return qtWait ? WaitWithQtEvents(event) : SimulatedLink::WaitForNotification(event);
        }
        void WakeWaiter() override
        {
            if (qtWait)
                WakeQtGuiThread();
        }
        // The devices the link says there are, and the ones chosen.
        std::vector<SoundDevice> devices;
        std::string input = "unset";
        std::string output = "unset";
        bool ListDevices(std::vector<SoundDevice>& list, std::string& error) override
        {
            list = devices;
            error.clear();
            return true;
        }
        void SetInputDevice(const std::string& id) override { input = id; }
        void SetOutputDevice(const std::string& id) override { output = id; }
        std::function<void()> onPlay;
        bool PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate) override
        {
            if (onPlay)
                onPlay();
            return SimulatedLink::PlaySamples(samples, sampleRate);
        }
    };

    // Runs steps from inside the capture loops: each step's action is run (posted, so that it
    // may start a nested capture loop of its own) once its condition holds. After the deadline
    // the capture is stopped, so a broken test fails instead of hanging.
    class Script : public QObject {
    public:
        struct Step {
            std::function<bool()> when;
            std::function<void()> action;
        };

        Script(TfrmMain& window, std::vector<Step> steps, int deadlineMs = 20000)
            : window_(window)
            , steps_(std::move(steps))
            , deadlineMs_(deadlineMs)
        {
            clock_.start();
            connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
            timer_.start(1);
        }
        bool Finished() const { return next_ == steps_.size(); }
        bool TimedOut() const { return timedOut_; }

    private:
        void Tick()
        {
            if (clock_.elapsed() > deadlineMs_ && !timedOut_) {
                timedOut_ = true;
                QTimer::singleShot(0, &window_, [this] { window_.cmdStopCapClick(); });
                return;
            }
            if (next_ < steps_.size() && steps_[next_].when()) {
                auto action = steps_[next_].action;
                ++next_;
                QTimer::singleShot(0, &window_, action);
            }
        }

        TfrmMain& window_;
        std::vector<Step> steps_;
        std::size_t next_ = 0;
        int deadlineMs_;
        bool timedOut_ = false;
        QTimer timer_;
        QElapsedTimer clock_;
    };

    class MainFormTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(dir.isValid());
            previousDir = QDir::currentPath();
            QDir::setCurrent(dir.path());
            sound.SetStopDelay(0);
        }
        void TearDown() override
        {
            window.reset();
            QDir::setCurrent(previousDir);
        }

        std::string IniPath() const
        {
            return dir.filePath(QStringLiteral("quelsor.ini")).toStdString();
        }
        void WriteIni(const std::string& text)
        {
            QFile file(QString::fromStdString(IniPath()));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text.data(), static_cast<qint64>(text.size()));
        }
        std::string ReadIni() const
        {
            QFile file(QString::fromStdString(IniPath()));
            if (!file.open(QIODevice::ReadOnly))
                return "<missing>";
            return file.readAll().toStdString();
        }

        void Open()
        {
            MainFormSetup setup;
            setup.messages = &messages;
            setup.backend = &link;
            setup.sound = &sound;
            setup.iniPath = IniPath();
            window = std::make_unique<TfrmMain>(setup);
            window->show();
            QCoreApplication::processEvents();
        }

        std::vector<std::string> Log() const
        {
            std::vector<std::string> lines;
            for (const QString& line : window->logLines())
                lines.push_back(line.toStdString());
            return lines;
        }
        int LogCount(const std::string& line) const
        {
            int n = 0;
            for (const auto& l : Log())
                n += l == line ? 1 : 0;
            return n;
        }
        std::function<bool()> Logged(const std::string& line, int times = 1)
        {
            return [this, line, times] { return LogCount(line) >= times; };
        }
        std::function<void()> Stop()
        {
            return [this] { window->cmdStopCap->click(); };
        }
        // Clicks button; the script's steps run inside the capture loops it starts.
        void RunClick(QPushButton* button, std::vector<Script::Step> steps)
        {
            Script script(*window, std::move(steps));
            button->click();
            EXPECT_FALSE(script.TimedOut());
            EXPECT_TRUE(script.Finished());
        }

        QTemporaryDir dir;
        QString previousDir;
        ObservedLink link;
        SoundLayer sound;
        RecordingMessages messages;
        std::unique_ptr<TfrmMain> window;
    };

    TEST_F(MainFormTest, ControlsOfTheDesign)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        EXPECT_EQ(
            window->windowTitle().toStdString(), "Quelsor  Version 1.2 du 16/06/2012 (KARVO)");
        EXPECT_EQ(window->size(), QSize(782, 488));
        EXPECT_EQ(window->minimumSize(), window->maximumSize());

        struct Control {
            const char* name;
            const char* caption;
            QRect geometry;
        };
        const Control controls[] {
            { "cmdQuitter", "Quitter", { 711, 457, 62, 25 } },
            { "cmdStartCap", "Début Capture", { 162, 458, 86, 25 } },
            { "cmdStopCap", "Fin Capture", { 252, 458, 89, 25 } },
            { "cmdEff", "Effacer", { 346, 458, 61, 25 } },
            { "cmdPlay", "Gén. DTMF", { 118, 48, 90, 27 } },
            { "GroupBox1", "Générateur", { 563, 2, 216, 95 } },
            { "memoLog", nullptr, { 7, 158, 766, 294 } },
            { "txtView", "", { 7, 129, 766, 21 } },
            { "tbSeuil", nullptr, { 528, 14, 29, 89 } },
            { "cmbDTMFSeq", nullptr, { 9, 14, 202, 21 } },
        };
        for (const auto& c : controls) {
            auto* widget = window->findChild<QWidget*>(QString::fromLatin1(c.name));
            ASSERT_NE(widget, nullptr) << c.name;
            EXPECT_EQ(widget->geometry(), c.geometry) << c.name;
            if (c.caption == nullptr)
                continue;
            QString caption;
            if (auto* button = qobject_cast<QAbstractButton*>(widget))
                caption = button->text();
            else if (auto* group = qobject_cast<QGroupBox*>(widget))
                caption = group->title();
            else if (auto* edit = qobject_cast<QLineEdit*>(widget))
                caption = edit->text();
            EXPECT_EQ(caption.toStdString(), c.caption) << c.name;
        }
        // Captions of the labels and check boxes; their width may grow to fit the font.
        EXPECT_EQ(window->Label1->text().toStdString(), "Seuil");
        EXPECT_EQ(window->Label1->pos(), QPoint(532, 2));
        EXPECT_EQ(window->chkGrille->text().toStdString(), "Afficher les marqueurs DTMF");
        EXPECT_EQ(window->chkGrille->pos(), QPoint(417, 104));
        EXPECT_TRUE(window->chkGrille->isChecked());
        EXPECT_EQ(window->chkDebug->text().toStdString(), "Aff. Debug");
        EXPECT_EQ(window->chkDebug->pos(), QPoint(587, 104));
        EXPECT_FALSE(window->chkDebug->isChecked());
        EXPECT_EQ(window->cmbDTMFSeq->parentWidget(), window->GroupBox1);
        EXPECT_EQ(window->cmdPlay->parentWidget(), window->GroupBox1);
        EXPECT_TRUE(window->cmbDTMFSeq->isEditable());

        // The slider: 20..200, minimum drawn at the top, position from the file (170).
        EXPECT_EQ(window->tbSeuil->orientation(), Qt::Vertical);
        EXPECT_EQ(window->tbSeuil->minimum(), 20);
        EXPECT_EQ(window->tbSeuil->maximum(), 200);
        EXPECT_TRUE(window->tbSeuil->invertedAppearance());
        EXPECT_EQ(window->tbSeuil->tickInterval(), 15);
        EXPECT_EQ(window->tbSeuil->value(), 170);
        EXPECT_EQ(window->Threshold(), 30);

        // The indicators have been moved under their markers by the first paint.
        const int lefts[] { 50, 56, 60, 66, 82, 90, 98, 110 };
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(window->l[i]->objectName().toStdString(), "l" + std::to_string(i));
            EXPECT_EQ(window->l[i]->text().toStdString(), "_");
            EXPECT_EQ(window->l[i]->geometry(), QRect(lefts[i], 106, 6, 13)) << i;
        }

        // Tab order: following the focus chain from cmdQuitter meets the controls in this order
        // (inner widgets such as the combo box's edit field sit in between).
        const std::vector<QWidget*> expected { window->cmdQuitter, window->cmdStartCap,
            window->cmdStopCap, window->memoLog, window->cmdEff, window->chkGrille,
            window->cmbDTMFSeq, window->cmdPlay, window->chkDebug, window->txtView,
            window->tbSeuil };
        std::vector<QWidget*> chain { window->cmdQuitter };
        for (QWidget* w = window->cmdQuitter->nextInFocusChain(); w != window->cmdQuitter;
             w = w->nextInFocusChain()) {
            if (std::find(expected.begin(), expected.end(), w) != expected.end())
                chain.push_back(w);
        }
        EXPECT_EQ(chain, expected);

        // Items from the file, the first one selected.
        ASSERT_EQ(window->cmbDTMFSeq->count(), 2);
        EXPECT_EQ(window->cmbDTMFSeq->itemText(0).toStdString(), "1234 Etat general");
        EXPECT_EQ(window->cmbDTMFSeq->itemText(1).toStdString(), "*5# Compteur");
        EXPECT_EQ(window->selectedSequenceItem(), 0);
        EXPECT_EQ(window->seqList().Count(), 2);
        EXPECT_EQ(window->pendingSeq(), -1);
        EXPECT_EQ(Log(), std::vector<std::string> { "Echantillons/seconde:16000" });
        EXPECT_TRUE(messages.texts.empty());
        EXPECT_FALSE(window->capturing());
    }

    // The worked example of the response decoding, from the click on "Gén. DTMF" to the report.
    class WorkedExampleTest : public MainFormTest, public ::testing::WithParamInterface<bool> { };

    TEST_P(WorkedExampleTest, StatusRequestDecodesTheAnswer)
    {
        const bool debug = GetParam();
        const std::string zone1
            = debug ? "Z 1.  Tension (120) Z1/10 => 12.000 " : "Tension 12.000 ";
        const std::string zone2 = debug ? "Z 2.  Moteur 1=Marche" : "Moteur 1=Marche";
        WriteIni(kWorkedExampleIni);
        link.config().answers["1234"] = "78D1CA1C#";
        Open();
        window->chkDebug->setChecked(debug);

        RunClick(window->cmdPlay, { { Logged(zone2), Stop() } });

        const std::vector<std::string> expected { "Echantillons/seconde:16000",
            "Attente de la réponse", "1234 (4)", "Echo reçu : 1234", "78D1CA1C# (9)",
            "Param 0 reçus ...", "", "78D1CA1C#", "Attendus:9  Reçus:9 ", "78 01 fd 1f ??", zone1,
            zone2 };
        std::vector<std::string> log = Log();
        if (debug) {
            // With "Aff. Debug" each closed answer's line is followed by its quality.
            for (const char* answer : { "1234 (4)", "78D1CA1C# (9)" }) {
                const auto at = std::find(log.begin(), log.end(), answer);
                ASSERT_TRUE(at != log.end() && at + 1 != log.end()) << answer;
                EXPECT_EQ((at + 1)->rfind("Niveau ", 0), 0u) << *(at + 1);
                log.erase(at + 1);
            }
        }
        EXPECT_EQ(log, expected);
        EXPECT_EQ(window->pendingSeq(), -1);
        EXPECT_FALSE(window->capturing());
        EXPECT_EQ(window->txtView->text().toStdString(), "78D1CA1C#");
        EXPECT_EQ(link.CommandsHeard(), std::vector<std::string> { "1234" });
        // The command file: 4 characters of 150 ms tone pair and 150 ms silence.
        EXPECT_EQ(QFile(QStringLiteral("tmp_dtmf.wav")).size(), 44 + 4 * 9600);
        // The capture file holds its header only, finalised with a data size of 0.
        QFile capture(QStringLiteral("tmp.wav"));
        ASSERT_TRUE(capture.open(QIODevice::ReadOnly));
        const QByteArray header = capture.readAll();
        ASSERT_EQ(header.size(), 44);
        EXPECT_EQ(header.mid(40, 4), QByteArray(4, '\0'));
        EXPECT_EQ(header.mid(4, 4), QByteArray("\x24\0\0\0", 4)); // RIFF size 36
        EXPECT_TRUE(messages.texts.empty());
    }

    INSTANTIATE_TEST_SUITE_P(AffDebug, WorkedExampleTest, ::testing::Bool());

    // The same request with the device answering in real time (eight times faster) from a
    // thread of its own, and the capture loop waiting in the GUI thread's event loop.
    TEST_F(MainFormTest, AnswerPushedFromAnotherThread)
    {
#ifdef QUELSOR_SOUND_WASAPI
        // A real-time link woken through Qt's event loop, as the Linux backends wait; the WASAPI
        // backend waits with Win32 and has tests of its own.
        GTEST_SKIP() << "the Linux backends' wait";
#endif
        WriteIni(kWorkedExampleIni);
        link.config().answers["1234"] = "78D1CA1C#";
        link.config().pace = SimulatedLink::Pace::RealTime;
        link.config().speed = 8.0;
        link.qtWait = true;
        Open();
        RunClick(window->cmdPlay, { { Logged("Moteur 1=Marche"), Stop() } });
        EXPECT_EQ(LogCount("Echo reçu : 1234"), 1);
        EXPECT_EQ(LogCount("Tension 12.000 "), 1);
        EXPECT_EQ(window->pendingSeq(), -1);
        EXPECT_FALSE(window->capturing());
    }

    TEST_F(MainFormTest, CountMismatchKeepsTheRequestPending)
    {
        WriteIni(kWorkedExampleIni);
        link.config().answers["1234"] = "78D1CA1C"; // 8 characters, 9 expected
        Open();
        RunClick(window->cmdPlay, { { Logged("Ajuster le niveau BF, puis réessayer."), Stop() } });
        const std::vector<std::string> expected { "Echantillons/seconde:16000",
            "Attente de la réponse", "1234 (4)", "Echo reçu : 1234", "78D1CA1C (8)",
            "Param 0 reçus ...", "", "78D1CA1C", "Attendus:9  Reçus:8 ",
            "Erreur de reconnaissance DTMF (nombre de caractères attendus non respecté)",
            "Ajuster le niveau BF, puis réessayer." };
        EXPECT_EQ(Log(), expected);
        EXPECT_EQ(window->pendingSeq(), 0);
    }

    TEST_F(MainFormTest, FullParserStackIsShownInAMessageBox)
    {
        // 18 nested parentheses overflow the formula evaluator's 20-entry stack.
        const std::string formula = std::string(18, '(') + "Z1" + std::string(18, ')');
        WriteIni("[SEQ1_1234_Etat]\nLGSEQ=9\nZ1=Tension,BIN,0,8," + formula + "\n");
        link.config().answers["1234"] = "78D1CA1C#";
        Open();
        RunClick(window->cmdPlay, { { Logged("Tension 0.000 "), Stop() } });
        EXPECT_EQ(messages.texts, std::vector<std::string> { "Parser stack overflow." });
    }

    TEST_F(MainFormTest, TypedTextIsSentWithoutPendingRequest)
    {
        WriteIni(kWorkedExampleIni);
        link.config().answers["12AB"] = "5555";
        Open();
        window->cmbDTMFSeq->lineEdit()->selectAll();
        QTest::keyClicks(window->cmbDTMFSeq->lineEdit(), QStringLiteral("12ab"));
        EXPECT_EQ(window->selectedSequenceItem(), -1);
        EXPECT_EQ(window->cmbDTMFSeq->currentText().toStdString(), "12ab");
        RunClick(window->cmdPlay, { { Logged("Reçu:5555"), Stop() } });
        EXPECT_EQ(link.CommandsHeard(), std::vector<std::string> { "12AB" });
        EXPECT_EQ(LogCount("Reçu:12AB"), 1); // the echo, only logged
        EXPECT_EQ(window->pendingSeq(), -1);
    }

    // Requests made while listening stop the capture and start one nested in the old loop; the
    // next "Fin Capture" ends them all.
    TEST_F(MainFormTest, RequestsWhileListeningNestAndAllEndAtStop)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        int depthAtStop = -1;
        RunClick(window->cmdStartCap,
            { { [this] { return link.SlicesPushed() > 3; }, [this] { window->cmdPlay->click(); } },
                { Logged("Echo reçu : 1234"), [this] { window->cmdPlay->click(); } },
                { Logged("Echo reçu : 1234", 2), [this, &depthAtStop] {
                     depthAtStop = link.OpenCount();
                     window->cmdStopCap->click();
                 } } });
        // Back here only once every loop has ended.
        EXPECT_FALSE(window->capturing());
        EXPECT_EQ(depthAtStop, 3);
        EXPECT_EQ(link.OpenCount(), 3);
        EXPECT_EQ(LogCount("Attente de la réponse"), 2);
        EXPECT_EQ(window->pendingSeq(), 0);
        EXPECT_FALSE(sound.HasCaptureDevice());
    }

    TEST_F(MainFormTest, StartAndStopAreIdempotent)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        window->cmdStopCap->click(); // idle: nothing
        EXPECT_EQ(link.ReleaseCount(), 0);
        EXPECT_FALSE(QFile::exists(QStringLiteral("tmp.wav")));
        RunClick(window->cmdStartCap,
            { { [this] { return link.SlicesPushed() > 2; },
                  [this] { window->cmdStartCap->click(); } }, // listening: nothing
                { [this] { return link.SlicesPushed() > 4; }, Stop() } });
        EXPECT_EQ(link.OpenCount(), 1);
        EXPECT_FALSE(window->capturing());
        window->cmdStopCap->click();
        EXPECT_EQ(link.ReleaseCount(), 1);
    }

    TEST_F(MainFormTest, ClosingWhileCapturingSavesTheThresholdFirst)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        std::string iniAtStop;
        link.onRelease = [this, &iniAtStop] { iniAtStop = ReadIni(); };
        RunClick(window->cmdStartCap,
            { { [this] { return link.SlicesPushed() > 3; },
                  [this] {
                      window->tbSeuil->setValue(150);
                      window->cmdPlay->click(); // nested capture
                  } },
                { Logged("Echo reçu : 1234"), [this] { window->cmdQuitter->click(); } } });
        EXPECT_TRUE(window->closed());
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->capturing());
        std::string expected = kWorkedExampleIni;
        expected.replace(expected.find("Seuil=170"), 9, "Seuil=150");
        EXPECT_EQ(iniAtStop, expected);
        EXPECT_EQ(ReadIni(), expected);
        // Nothing runs after the close: a further click starts no capture.
        window->cmdStartCap->click();
        EXPECT_FALSE(window->capturing());
        window.reset();
        EXPECT_EQ(link.UnloadCount(), 1);
    }

    // Closed from inside nested capture loops, the window is not destroyed under them and the
    // application's event loop returns once the outermost handler has returned.
    TEST_F(MainFormTest, ApplicationQuitsWhenClosedInsideNestedCaptures)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        QPointer<TfrmMain> alive(window.get());
        Script script(*window,
            { { [this] { return link.SlicesPushed() > 3; }, [this] { window->cmdPlay->click(); } },
                { Logged("Echo reçu : 1234"), [this] { window->close(); } } });
        QTimer::singleShot(0, window.get(), [this] { window->cmdStartCap->click(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(20000);
        const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
        QGuiApplication::setQuitOnLastWindowClosed(true);
        const int rc = QCoreApplication::exec();
        QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
        EXPECT_EQ(rc, 0);
        EXPECT_TRUE(script.Finished());
        ASSERT_FALSE(alive.isNull());
        EXPECT_TRUE(window->closed());
        EXPECT_FALSE(window->capturing());
        EXPECT_FALSE(sound.HasCaptureDevice());
    }

    // A window closed while the command plays does not start listening afterwards: nothing could
    // stop that capture any more.
    TEST_F(MainFormTest, ClosingDuringPlaybackStartsNoCapture)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        link.onPlay = [this] { window->close(); };
        window->cmdPlay->click(); // returns: no capture loop was entered
        EXPECT_TRUE(window->closed());
        EXPECT_FALSE(window->capturing());
        EXPECT_EQ(link.OpenCount(), 0);
        EXPECT_EQ(LogCount("Attente de la réponse"), 1);
    }

    TEST_F(MainFormTest, ConfigurationThatStopsEarly)
    {
        WriteIni("[General]\nSeuil=10\n[SEQ1_1234_Etat]\nLGSEQ=9\nZ1=T,BIN,0,8\n[SEQ]\n"
                 "[SEQ2_55_Autre]\nLGSEQ=3\n");
        Open();
        EXPECT_EQ(messages.texts, std::vector<std::string> { "List index out of bounds (2)" });
        ASSERT_EQ(window->cmbDTMFSeq->count(), 1);
        EXPECT_EQ(window->selectedSequenceItem(), 0);
        EXPECT_EQ(window->tbSeuil->value(), 20); // clamped
        EXPECT_EQ(window->pendingSeq(), -1);
        EXPECT_EQ(
            window->windowTitle().toStdString(), "Quelsor  Version 1.2 du 16/06/2012 (KARVO)");
        window->close();
        EXPECT_NE(ReadIni().find("Seuil=20\n"), std::string::npos);
    }

    TEST_F(MainFormTest, NoConfigurationFile)
    {
        Open();
        EXPECT_EQ(window->cmbDTMFSeq->count(), 0);
        EXPECT_EQ(window->selectedSequenceItem(), -1);
        EXPECT_EQ(window->cmbDTMFSeq->currentText().toStdString(), "");
        EXPECT_EQ(window->tbSeuil->value(), 200);
        EXPECT_TRUE(messages.texts.empty());
        // An empty request is still played (header only) and capture still starts.
        RunClick(window->cmdPlay, { { Logged("Attente de la réponse"), Stop() } });
        EXPECT_EQ(QFile(QStringLiteral("tmp_dtmf.wav")).size(), 44);
        EXPECT_EQ(link.OpenCount(), 1);
        window->close();
#ifdef _WIN32
        EXPECT_EQ(ReadIni(), "[General]\r\nSeuil=200\r\n"); // the platform's line ends
#else
        EXPECT_EQ(ReadIni(), "[General]\nSeuil=200\n");
#endif
    }

#ifdef _WIN32
    // The window raises its process to the high priority class, for the capture's sake.
    TEST_F(MainFormTest, ProcessRunsAtHighPriority)
    {
        Open();
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    }
#endif

    // An installed window: its configuration in the user's folder (named in the log), its
    // scratch files in a folder of their own, nothing in the current directory.
    TEST_F(MainFormTest, InstalledWindowKeepsItsFilesInTheFoldersItIsGiven)
    {
        const QString userFolder = dir.filePath(QStringLiteral("config \u00e9t\u00e9"));
        const QString scratchFolder = dir.filePath(QStringLiteral("cache d\u00e9di\u00e9"));
        ASSERT_TRUE(QDir().mkpath(userFolder));
        ASSERT_TRUE(QDir().mkpath(scratchFolder));
        const std::string userIni
            = QDir(userFolder).filePath(QStringLiteral("quelsor.ini")).toStdString();
        {
            QFile file(QString::fromStdString(userIni));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(kWorkedExampleIni);
        }
        link.config().answers["1234"] = "78D1CA1C#";
        MainFormSetup setup;
        setup.messages = &messages;
        setup.backend = &link;
        setup.sound = &sound;
        setup.iniPath = userIni;
        setup.logIniPath = true;
        setup.scratchFolder = scratchFolder.toStdString();
        window = std::make_unique<TfrmMain>(setup);
        window->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(Log(),
            (std::vector<std::string> {
                "Echantillons/seconde:16000", "Fichier de configuration : " + userIni }));

        RunClick(window->cmdPlay, { { Logged("Moteur 1=Marche"), Stop() } });
        EXPECT_EQ(QFile(QDir(scratchFolder).filePath(QStringLiteral("tmp_dtmf.wav"))).size(),
            44 + 4 * 9600);
        EXPECT_EQ(QFile(QDir(scratchFolder).filePath(QStringLiteral("tmp.wav"))).size(), 44);
        EXPECT_FALSE(QFile::exists(QStringLiteral("tmp_dtmf.wav")));
        EXPECT_FALSE(QFile::exists(QStringLiteral("tmp.wav")));

        window->tbSeuil->setValue(150);
        window->close();
        QFile saved(QString::fromStdString(userIni));
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_TRUE(saved.readAll().contains("Seuil=150"));
        EXPECT_TRUE(messages.texts.empty());
        EXPECT_EQ(ReadIni(), "<missing>"); // nothing beside the "executable"
    }

    TEST_F(MainFormTest, CaptureStartFailuresAreReported)
    {
        struct Case {
            int failure;
            DeviceResult buffer;
            std::vector<std::string> texts;
        };
        const std::vector<Case> cases {
            { -2, DeviceResult::Ok, { "Abandon ..." } },
            { -3, DeviceResult::NoDriver, { "No driver", "Abandon ..." } },
            { -3, DeviceResult::BadFormat,
                { "The specified wave format is not supported", "Abandon ..." } },
            { -3, DeviceResult::Unidentified, { "Erreur DSOUND non identifiée", "Abandon ..." } },
            { -4, DeviceResult::Ok, { "Abandon ..." } },
            { -5, DeviceResult::Ok, { "Abandon ..." } },
            { -6, DeviceResult::Ok, { "Abandon ..." } },
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.failure);
            TearDown();
            SetUp();
            link.config().startFailure = c.failure;
            link.config().bufferResult = c.buffer;
            Open();
            messages.texts.clear();
            window->cmdStartCap->click(); // returns at once: the start failed
            EXPECT_EQ(messages.texts, c.texts);
            EXPECT_TRUE(window->capturing());
            // "Début Capture" again releases the failed start and tries afresh (the device may
            // be back by now).
            const int released = link.ReleaseCount();
            window->cmdStartCap->click();
            EXPECT_EQ(messages.texts.size(), 2 * c.texts.size());
            EXPECT_EQ(link.ReleaseCount() - released, c.failure == -2 ? 0 : 1);
            window->cmdStopCap->click();
            EXPECT_FALSE(window->capturing());
        }
    }

    // [General] Entree and Sortie choose the devices afresh at every playback and capture start;
    // a device that is absent is logged and the default used. The window never writes them.
    TEST_F(MainFormTest, ConfiguredDevicesAreChosenAtEachStartOrLoggedWhenAbsent)
    {
        std::string ini = kWorkedExampleIni;
        ini.replace(ini.find("Seuil=170\n"), 10, "Seuil=170\nEntree=usb\nSortie=Casque\n");
        WriteIni(ini);
        link.config().answers["1234"] = "78D1CA1C#";
        link.devices = { { true, "alsa_input.usb-radio", "USB Audio Mono", false },
            { true, "mic", "Micro interne", true }, { false, "speakers", "Haut-parleurs", true } };
        Open();
        RunClick(window->cmdPlay, { { Logged("Moteur 1=Marche"), Stop() } });
        EXPECT_EQ(link.input, "alsa_input.usb-radio");
        EXPECT_EQ(link.output, "");
        const auto log = Log();
        const auto absentOutput = std::find(
            log.begin(), log.end(), "Sortie « Casque » absente, sortie par défaut utilisée");
        ASSERT_NE(absentOutput, log.end());
        EXPECT_EQ(std::find(absentOutput, log.end(), "Attente de la réponse") - absentOutput, 1);
        EXPECT_EQ(LogCount("Entrée « usb » absente, entrée par défaut utilisée"), 0);

        // The interface unplugged: the next start says so and listens on the default.
        link.devices.erase(link.devices.begin());
        RunClick(window->cmdStartCap, { { [this] { return link.SlicesPushed() > 2; }, Stop() } });
        EXPECT_EQ(LogCount("Entrée « usb » absente, entrée par défaut utilisée"), 1);
        EXPECT_EQ(link.input, "");
        EXPECT_TRUE(messages.texts.empty());

        window->close();
        EXPECT_NE(ReadIni().find("Entree=usb\nSortie=Casque\n"), std::string::npos) << ReadIni();
    }

    TEST_F(MainFormTest, SoundInitialisationFailureStillOpensTheWindow)
    {
        link.config().loadCode = -3;
        Open();
        const std::vector<std::string> expected {
            "Cette application nécessite l'installation de DirectX (mini : version 8) !",
            "Abandon ...", "Erreur initialisation DirectSound : -3"
        };
        EXPECT_EQ(messages.texts, expected);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(
            window->windowTitle().toStdString(), "Quelsor  Version 1.2 du 16/06/2012 (KARVO)");
    }

    TEST_F(MainFormTest, CommandFileThatCannotBeWritten)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        QDir().mkdir(QStringLiteral("tmp_dtmf.wav")); // a folder in the way
        window->cmdPlay->click();
        EXPECT_EQ(messages.texts,
            std::vector<std::string> {
                "Creation/Ouverture du fichier tmp_dtmf.wav impossible. Abandon\n" });
        EXPECT_FALSE(window->capturing());
        EXPECT_EQ(window->pendingSeq(), -1);
        EXPECT_TRUE(link.CommandsHeard().empty());
    }

    TEST_F(MainFormTest, ClearButtonEmptiesTheLog)
    {
        WriteIni(kWorkedExampleIni);
        link.config().answers["1234"] = "78D1CA1C#";
        Open();
        RunClick(window->cmdPlay, { { Logged("Moteur 1=Marche"), Stop() } });
        window->cmdEff->click();
        EXPECT_TRUE(Log().empty());
        window->AddLogLine("x");
        EXPECT_EQ(Log(), std::vector<std::string> { "x" });
    }

    TEST_F(MainFormTest, TextTypedIntoTheClearedLogIsKept)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        window->cmdEff->click();
        QTest::keyClicks(window->memoLog, QStringLiteral("note"));
        window->AddLogLine("x");
        window->AddLogLine("y");
        EXPECT_EQ(Log(), (std::vector<std::string> { "note", "x", "y" }));
    }

    TEST_F(MainFormTest, EnterClicksTheFocusedButtonOnly)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        for (QPushButton* button : window->findChildren<QPushButton*>())
            EXPECT_TRUE(button->autoDefault()) << button->objectName().toStdString();
        for (const Qt::Key key : { Qt::Key_Return, Qt::Key_Enter }) {
            window->AddLogLine("line");
            window->cmdEff->setFocus();
            QTest::keyClick(
                window->cmdEff, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            EXPECT_TRUE(Log().empty()) << "key " << key;
        }
        // Enter elsewhere (the request's text) clicks no button: none is the window's default.
        window->AddLogLine("line");
        QTest::keyClick(window->cmbDTMFSeq->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(Log(), std::vector<std::string> { "line" });
        EXPECT_FALSE(window->capturing());
    }

    // The spectrum: our own blits keep the curve; an exposure of the window redraws the frame.
    TEST_F(MainFormTest, SpectrumCurveSurvivesBlitsButNotExposure)
    {
        WriteIni(kWorkedExampleIni);
        Open();
        const PixelCanvas& canvas = window->canvas();
        EXPECT_EQ(canvas.PixelColour(9, 11), 0xFFFFFFu); // the first paint drew the frame
        EXPECT_EQ(canvas.PixelColour(52, 50), SpectrumDisplay::kMarkerColour);
        bool curveKept = false;
        RunClick(window->cmdStartCap,
            { { [this] { return link.SlicesPushed() > 3; },
                [this, &canvas, &curveKept] {
                    QCoreApplication::processEvents(); // deliver the pending blits
                    // Silence: the curve is the flat line at y = 99.
                    curveKept = canvas.PixelColour(200, 99) == SpectrumDisplay::kCurveColour;
                    window->cmdStopCap->click();
                } } });
        EXPECT_TRUE(curveKept);
        QCoreApplication::processEvents();
        EXPECT_EQ(canvas.PixelColour(200, 99), SpectrumDisplay::kCurveColour); // stays on screen
        window->repaint(); // as when the window is uncovered
        EXPECT_EQ(canvas.PixelColour(200, 99), SpectrumDisplay::kPlotColour);
        EXPECT_EQ(canvas.PixelColour(52, 99), SpectrumDisplay::kMarkerColour);
        // A repaint of part of the window only redraws that part.
        window->chkGrille->setChecked(false); // wipes the markers
        QCoreApplication::processEvents();
        EXPECT_EQ(canvas.PixelColour(52, 99), SpectrumDisplay::kPlotColour);
        window->chkGrille->blockSignals(true);
        window->chkGrille->setChecked(true);
        window->chkGrille->blockSignals(false);
        window->repaint(QRect(0, 0, 60, 60));
        EXPECT_EQ(canvas.PixelColour(52, 40), SpectrumDisplay::kMarkerColour);
        EXPECT_EQ(canvas.PixelColour(52, 80), SpectrumDisplay::kPlotColour);
    }

} // namespace
} // namespace quelsor
