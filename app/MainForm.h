#pragma once

#include "audio/DetectorHost.h"
#include "config/Configuration.h"
#include "config/ParamSeq.h"
#include "decoder/DecoderHost.h"
#include "decoder/ResponseDecoder.h"
#include "display/PixelCanvas.h"
#include "display/SpectrumDisplay.h"
#include "formula/FormulaCells.h"
#include "formula/FormulaEvaluator.h"
#include "sound/DeviceChoice.h"
#include "sound/SoundHost.h"

#include <QImage>
#include <QRegion>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;

namespace quelsor {

class ISoundBackend;
class SoundLayer;

// The window's own texts, byte for byte.
namespace main_text {
    inline constexpr const char* kDesignCaption = "Quelsor";
    inline constexpr const char* kVersionPrefix = "  Version ";
    inline constexpr const char* kVersion = "1.2 du 16/06/2012 (KARVO)";
    inline constexpr const char* kSoundInitError = "Erreur initialisation DirectSound : %d";
    // Logged at start when the configuration is not the file beside the executable.
    inline constexpr const char* kConfigurationFile = "Fichier de configuration : %s";
} // namespace main_text

// Colours of the tone indicators l0..l7 (0x00BBGGRR): a tone shown present, and absent.
inline constexpr std::uint32_t kIndicatorOn = 255; // red
inline constexpr std::uint32_t kIndicatorOff = 0; // black

// What the window is built with. Everything not given takes the window's own: its message boxes,
// a sound layer of its own (the program's one: its detector and filter bank then live as long as
// the window), the configuration file beside the executable.
struct MainFormSetup {
    IOperatorMessages* messages = nullptr; // not owned; null: modal message boxes
    ISoundBackend* backend = nullptr; // not owned; null: the sound layer reports no sound system
    SoundLayer* sound = nullptr; // not owned; null: one the window owns
    std::string iniPath; // UTF-8; empty: IniPathForExecutable(application file path)
    // Logs kConfigurationFile with iniPath once the configuration is loaded: the operator learns
    // which file holds the threshold when it is not the one beside the executable.
    bool logIniPath = false;
    // Folder of the scratch files "tmp_dtmf.wav" and "tmp.wav" (UTF-8); empty: the current
    // directory.
    std::string scratchFolder;
};

// The main window: the request generator, the capture buttons, the threshold slider, the eight
// tone indicators, the received characters, the log and the live spectrum in the upper left
// corner. Fixed client area of 782 x 488 pixels.
//
// Its handlers carry the status request cycle. The capture runs inside the handler that started
// it (StartCapture pumps the window's events until StopCapture), so the other handlers, and the
// close of the window, run nested inside it. The window is therefore never destroyed by closing
// it: whoever owns it deletes it once the event loop has returned (see main.cpp), which cannot
// happen before the outermost handler has returned.
class TfrmMain : public QWidget,
                 public ISoundHost,
                 public IDetectorHost,
                 public IDecoderHost,
                 public IConfigurationTarget,
                 public ISpectrumHost {
    Q_OBJECT

public:
    explicit TfrmMain(const MainFormSetup& setup = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Click handlers of the buttons and check box (the buttons' clicked signals call them).
    void cmdPlayClick();
    void cmdStartCapClick();
    void cmdStopCapClick();
    void cmdEffClick();
    void cmdQuitterClick();
    void chkGrilleClick();

    // State, for the tests.
    bool capturing() const { return capturing_; }
    std::int32_t pendingSeq() const { return decoder_.pendingSeq; }
    const SeqList& seqList() const { return seqList_; }
    const ResponseDecoder& decoder() const { return decoder_; }
    const SpectrumDisplay& spectrumDisplay() const { return display_; }
    const PixelCanvas& canvas() const { return canvas_; }
    bool closed() const { return closed_; }
    // The lines of memoLog; none after it has been emptied.
    QStringList logLines() const;
    // Selected item of cmbDTMFSeq, -1 when none is (or the text has been typed over).
    int selectedSequenceItem() const;

    // ISoundHost (and IOperatorMessages)
    void ShowMessage(const std::string& text) override;
    void ProcessPendingEvents() override;
    void DrawSpectrum(const std::int32_t* magnitudes, int count) override;
    IDetectorHost& DetectorHost() override { return *this; }

    // IDetectorHost: the indicators follow each block; each accepted character is appended to
    // txtView, which the first character after a closed answer empties first; a closed answer
    // is logged as AnswerLogLine (with "Aff. Debug", its quality too) and decoded.
    int Threshold() const override;
    void OnToneMask(
        std::int64_t block, std::uint8_t toneMask, const ToneIndicators& indicators) override;
    void OnCharacter(std::int64_t block, char character) override;
    void OnAnswerQuality(const AnswerQuality& quality) override { answerQuality_ = quality; }
    void OnAnswer(const std::string& text) override;

    // IDecoderHost, ISpectrumHost
    void AddLogLine(const std::string& line) override;

    // IDecoderHost
    bool DebugChecked() const override; // also ISpectrumHost
    int SequenceItemCount() const override;
    std::string SequenceItemText(int index) const override;

    // IConfigurationTarget
    void SetThresholdPosition(int position) override;
    void ClearSequenceItems() override;
    void AddSequenceItem(const std::string& text) override;
    void SetSoundDevices(const std::string& input, const std::string& output) override;

    // ISpectrumHost
    bool Capturing() const override { return capturing_; }
    bool GrilleChecked() const override;
    void ClearLog() override;
    void SetIndicatorLeft(int tone, int left) override;

    // The plot area of the spectrum display, in client pixels; the canvas is blitted there.
    static QRect PlotRect() { return QRect(9, 11, 513, 90); }

    // Controls, under their historical names (also their objectName).
    QLabel* l[8] {};
    QLabel* Label1 = nullptr;
    QPushButton* cmdQuitter = nullptr;
    QPushButton* cmdStartCap = nullptr;
    QPushButton* cmdStopCap = nullptr;
    QPlainTextEdit* memoLog = nullptr;
    QPushButton* cmdEff = nullptr;
    QCheckBox* chkGrille = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QComboBox* cmbDTMFSeq = nullptr;
    QPushButton* cmdPlay = nullptr;
    QCheckBox* chkDebug = nullptr;
    QLineEdit* txtView = nullptr;
    QSlider* tbSeuil = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    // The window has been exposed: the display's paint, clipped to the exposed region.
    void FormPaint(const QRegion& exposed);
    // Shows the canvas as it is now, without the paint semantics of an exposure.
    void BlitCanvas();
    // Typing in cmbDTMFSeq deselects its item, as the platform's combo box does.
    void OnSequenceTextEdited(const QString& text);
    // Starts a capture on the configured input and runs its loop until it ends.
    void Listen();
    // Points the backend at the configured input or output before it is opened; an absent
    // device is logged and the default used.
    void ChooseInput();
    void ChooseOutput();
    // Indicator l[tone] in colour (kIndicatorOn or kIndicatorOff).
    void SetIndicatorColour(int tone, std::uint32_t colour);

    std::unique_ptr<IOperatorMessages> ownMessages_;
    IOperatorMessages* messages_;
    std::unique_ptr<SoundLayer> ownSound_;
    SoundLayer& sound_;
    ISoundBackend* backend_;
    std::string iniPath_;
    bool logIniPath_;
    std::string commandFilePath_; // the scratch "tmp_dtmf.wav"

    bool capturing_ = false;
    int runningLoops_ = 0; // capture loops in progress (nested ones included)
    DeviceChoice devices_; // [General] Entree and Sortie
    PixelCanvas canvas_;
    QImage canvasImage_; // a view of canvas_'s pixels
    SpectrumDisplay display_;
    SeqList seqList_;
    CellTable cells_; // only column Z is ever filled: the zone cells
    FormulaEvaluator evaluator_; // reports a full parser stack in messages_
    ResponseDecoder decoder_;

    bool shown_ = false; // FormShow has run
    bool closed_ = false; // FormClose has run
    bool destroyed_ = false; // FormDestroy has run
    bool logEmpty_ = false; // cleared, and no line added since (the operator may have typed)
    QRegion pendingBlit_; // parts of the window we asked to repaint for our own drawing
    std::array<std::uint32_t, 8> indicatorColour_ {};
    bool clearViewPending_ = false; // an answer was closed: the next character empties txtView
    std::optional<AnswerQuality> answerQuality_; // of the answer being closed
};

} // namespace quelsor
