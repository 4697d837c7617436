// The main window driven like an operator would, over the simulated audio link: the device at
// the other end hears the played command and answers through the capture side.

#include "app/MainForm.h"
#include "audio/DtmfDetector.h"
#include "audio/SoundLayer.h"
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
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

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
            detectorState() = DetectorState {};
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

} // namespace
} // namespace quelsor
