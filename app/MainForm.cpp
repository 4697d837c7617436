#include "app/MainForm.h"

#include "app/MessageBoxMessages.h"
#include "app/PlatformTiming.h"
#include "audio/CommandFile.h"
#include "common/FileOpen.h"
#include "decoder/RequestLog.h"
#include "formula/FormulaEvaluator.h"
#include "sound/SoundLayer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>

namespace quelsor {

namespace {
    constexpr int kClientWidth = 782;
    constexpr int kClientHeight = 488;
    // The canvas covers the upper left corner of the client area, where the plot is drawn.
    constexpr int kCanvasWidth = 530;
    constexpr int kCanvasHeight = 104;
    constexpr int kIndicatorTop = 106;
    constexpr std::array<int, 8> kIndicatorLefts { 113, 129, 145, 161, 186, 205, 225, 249 };

    std::string FormatInt(const char* format, int value)
    {
        char text[128];
        std::snprintf(text, sizeof text, format, value);
        return text;
    }

    std::uint32_t WindowColourOf(const QColor& colour)
    {
        return static_cast<std::uint32_t>(colour.red())
            | (static_cast<std::uint32_t>(colour.green()) << 8)
            | (static_cast<std::uint32_t>(colour.blue()) << 16);
    }

    QColor ColourOf(std::uint32_t windowColour)
    {
        return QColor(static_cast<int>(windowColour & 0xFF),
            static_cast<int>((windowColour >> 8) & 0xFF),
            static_cast<int>((windowColour >> 16) & 0xFF));
    }

    QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

    QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption,
        QStyle::StandardPixmap glyph, const QRect& geometry)
    {
        auto* button = new QPushButton(parent->style()->standardIcon(glyph), Text(caption), parent);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(geometry);
        button->setIconSize(QSize(12, 12));
        // Enter and keypad Enter click the focused button, as Space does. Outside a dialog this
        // makes no button the window's default.
        button->setAutoDefault(true);
        return button;
    }

    // The platform's font may be wider than the one the layout was drawn with: a caption that
    // does not fit its design width may take up to `room` pixels, never more.
    void FitWidth(QWidget* widget, int room)
    {
        const int wanted = std::min(widget->sizeHint().width(), room);
        if (wanted > widget->width())
            widget->resize(wanted, widget->height());
    }
}

TfrmMain::TfrmMain(const MainFormSetup& setup, QWidget* parent)
    : QWidget(parent)
    , ownMessages_(setup.messages == nullptr ? std::make_unique<MessageBoxMessages>(this) : nullptr)
    , messages_(setup.messages != nullptr ? setup.messages : ownMessages_.get())
    , ownSound_(setup.sound == nullptr ? std::make_unique<SoundLayer>() : nullptr)
    , sound_(setup.sound != nullptr ? *setup.sound : *ownSound_)
    , backend_(setup.backend)
    , iniPath_(setup.iniPath)
    , logIniPath_(setup.logIniPath)
    , commandFilePath_(PathInFolder(setup.scratchFolder, kCommandFileName))
    , canvas_(kCanvasWidth, kCanvasHeight, WindowColourOf(palette().color(QPalette::Window)))
    , canvasImage_(reinterpret_cast<const uchar*>(canvas_.Bits()), canvas_.Width(),
          canvas_.Height(), canvas_.BytesPerLine(), QImage::Format_RGB32)
    , display_(canvas_, *this)
    , evaluator_(cells_, messages_)
    , decoder_(*this, seqList_, evaluator_)
{
    if (iniPath_.empty())
        iniPath_ = IniPathForExecutable(QCoreApplication::applicationFilePath().toStdString());
    if (!setup.scratchFolder.empty())
        sound_.SetScratchFolder(setup.scratchFolder);
    CreateControls();
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    // A window destroyed without having been closed still gives back what its showing took;
    // only the threshold is not saved.
    if (shown_ && !closed_) {
        closed_ = true;
        if (capturing_) {
            capturing_ = false;
            sound_.StopCapture();
        }
        EndFineTimerResolution();
        decoder_.ReleaseZoneCells();
    }
    FormDestroy();
}

void TfrmMain::CreateControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Text(main_text::kDesignCaption));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    move(318, 204);
    // The platform's sans-serif at 8 points, semi-condensed: today's interface fonts are wider
    // than the one the layout was drawn with, and the captions must fit their controls.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    font.setStretch(QFont::SemiCondensed);
    setFont(font);

    // In creation order.
    for (int i = 0; i < 8; ++i) {
        l[i] = new QLabel(QStringLiteral("_"), this);
        l[i]->setObjectName(QStringLiteral("l%1").arg(i));
        l[i]->setGeometry(kIndicatorLefts[static_cast<std::size_t>(i)], kIndicatorTop, 6, 13);
    }
    Label1 = new QLabel(Text("Seuil"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(532, 2, 23, 13);

    cmdQuitter = MakeButton(
        this, "cmdQuitter", "Quitter", QStyle::SP_DialogCloseButton, { 711, 457, 62, 25 });
    cmdStartCap = MakeButton(
        this, "cmdStartCap", "Début Capture", QStyle::SP_MediaPlay, { 162, 458, 86, 25 });
    cmdStopCap
        = MakeButton(this, "cmdStopCap", "Fin Capture", QStyle::SP_MediaStop, { 252, 458, 89, 25 });

    memoLog = new QPlainTextEdit(this);
    memoLog->setObjectName(QStringLiteral("memoLog"));
    memoLog->setGeometry(7, 158, 766, 294);
    memoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(8);
    memoLog->setFont(fixed);
    memoLog->setPlainText(QString()); // one empty line

    cmdEff
        = MakeButton(this, "cmdEff", "Effacer", QStyle::SP_DialogResetButton, { 346, 458, 61, 25 });

    chkGrille = new QCheckBox(Text("Afficher les marqueurs DTMF"), this);
    chkGrille->setObjectName(QStringLiteral("chkGrille"));
    chkGrille->setGeometry(417, 104, 161, 17);
    chkGrille->setChecked(true);

    GroupBox1 = new QGroupBox(Text("Générateur"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(563, 2, 216, 95);
    cmbDTMFSeq = new QComboBox(GroupBox1);
    cmbDTMFSeq->setObjectName(QStringLiteral("cmbDTMFSeq"));
    cmbDTMFSeq->setGeometry(9, 14, 202, 21);
    cmbDTMFSeq->setEditable(true);
    cmbDTMFSeq->setInsertPolicy(QComboBox::NoInsert);
    cmbDTMFSeq->setCompleter(nullptr);
    cmbDTMFSeq->addItem(QStringLiteral("1234"));
    cmbDTMFSeq->setEditText(QStringLiteral("1234"));
    cmdPlay = MakeButton(
        GroupBox1, "cmdPlay", "Gén. DTMF", QStyle::SP_MediaSeekForward, { 118, 48, 90, 27 });

    chkDebug = new QCheckBox(Text("Aff. Debug"), this);
    chkDebug->setObjectName(QStringLiteral("chkDebug"));
    chkDebug->setGeometry(587, 104, 75, 17);

    FitWidth(Label1, 30); // up to the group box
    FitWidth(chkGrille, 168); // up to chkDebug
    FitWidth(chkDebug, 120);

    txtView = new QLineEdit(this);
    txtView->setObjectName(QStringLiteral("txtView"));
    txtView->setGeometry(7, 129, 766, 21);

    // A vertical track bar with its minimum at the top; the threshold is maximum - position.
    tbSeuil = new QSlider(Qt::Vertical, this);
    tbSeuil->setObjectName(QStringLiteral("tbSeuil"));
    tbSeuil->setGeometry(528, 14, 29, 89);
    tbSeuil->setRange(kThresholdMin, kThresholdMax);
    tbSeuil->setInvertedAppearance(true);
    tbSeuil->setInvertedControls(true);
    tbSeuil->setTickPosition(QSlider::TicksLeft);
    tbSeuil->setTickInterval(15);
    tbSeuil->setPageStep(0);
    tbSeuil->setValue(kThresholdDefault);

    // Tab order: the window's own controls, then those of the group in their own order.
    QWidget* order[] { cmdQuitter, cmdStartCap, cmdStopCap, memoLog, cmdEff, chkGrille, cmbDTMFSeq,
        cmdPlay, chkDebug, txtView, tbSeuil };
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(cmdQuitter, &QPushButton::clicked, this, &TfrmMain::cmdQuitterClick);
    connect(cmdStartCap, &QPushButton::clicked, this, &TfrmMain::cmdStartCapClick);
    connect(cmdStopCap, &QPushButton::clicked, this, &TfrmMain::cmdStopCapClick);
    connect(cmdEff, &QPushButton::clicked, this, &TfrmMain::cmdEffClick);
    connect(cmdPlay, &QPushButton::clicked, this, &TfrmMain::cmdPlayClick);
    connect(chkGrille, &QCheckBox::toggled, this, &TfrmMain::chkGrilleClick);
    connect(cmbDTMFSeq->lineEdit(), &QLineEdit::textEdited, this, &TfrmMain::OnSequenceTextEdited);
}

// ---- Life of the window ----

void TfrmMain::FormCreate()
{
    RaiseProcessPriority();
    const int result = sound_.InitSound(*this, backend_);
    capturing_ = false;
    if (result < 0)
        ShowMessage(FormatInt(main_text::kSoundInitError, result));
    seqList_.Clear();
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmMain::FormShow()
{
    setWindowTitle(Text(main_text::kDesignCaption) + Text(main_text::kVersionPrefix)
        + Text(main_text::kVersion));
    display_.ComputeMarkerBins();
    LoadConfiguration(iniPath_, *this, seqList_, *this);
    if (logIniPath_) {
        const std::string format = main_text::kConfigurationFile;
        AddLogLine(format.substr(0, format.find("%s")) + iniPath_);
    }
    decoder_.pendingSeq = -1;
    BeginFineTimerResolution();
    if (cmbDTMFSeq->count() > 0)
        cmbDTMFSeq->setCurrentIndex(0);
    decoder_.CreateZoneCells();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (!closed_)
        FormClose();
    event->accept();
}

void TfrmMain::FormClose()
{
    closed_ = true;
    SaveSetting(iniPath_, kGeneralSection, kThresholdKey, std::to_string(tbSeuil->value()), *this);
    if (capturing_) {
        capturing_ = false;
        sound_.StopCapture();
    }
    EndFineTimerResolution();
    decoder_.ReleaseZoneCells();
}

void TfrmMain::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    seqList_.Clear();
    sound_.ReleaseSound();
}

// ---- Buttons ----

void TfrmMain::cmdPlayClick()
{
    const std::string text = cmbDTMFSeq->currentText().toStdString();
    if (!WriteCommandFile(commandFilePath_, text)) {
        ShowMessage(CommandFileOpenMessage(commandFilePath_));
        return;
    }
    if (capturing_) {
        capturing_ = false;
        sound_.StopCapture();
    }
    ChooseOutput();
    sound_.PlaySoundFile(commandFilePath_);
    AddLogLine(kAwaitingAnswer);
    decoder_.pendingSeq = selectedSequenceItem();
    // A window closed during the playback does not start listening again: nothing could stop
    // that capture any more and the program would never end.
    if (!capturing_ && !closed_) {
        capturing_ = true;
        Listen();
    }
}

void TfrmMain::cmdStartCapClick()
{
    if (closed_ || (capturing_ && runningLoops_ > 0))
        return; // listening already
    if (capturing_) {
        // The last capture failed to start, or its loop ended by itself when its input or the
        // sound server went away: it is released, and listening starts afresh on the devices
        // there are now.
        capturing_ = false;
        sound_.StopCapture();
    }
    capturing_ = true;
    Listen();
}

void TfrmMain::Listen()
{
    ChooseInput();
    ++runningLoops_;
    sound_.StartCapture();
    --runningLoops_;
}

void TfrmMain::ChooseInput()
{
    if (backend_ == nullptr || !sound_.Initialised())
        return;
    const std::string absent = devices_.ApplyInput(*backend_);
    if (!absent.empty())
        AddLogLine(absent);
}

void TfrmMain::ChooseOutput()
{
    if (backend_ == nullptr || !sound_.Initialised())
        return;
    const std::string absent = devices_.ApplyOutput(*backend_);
    if (!absent.empty())
        AddLogLine(absent);
}

void TfrmMain::cmdStopCapClick()
{
    if (capturing_) {
        capturing_ = false;
        sound_.StopCapture();
    }
}

void TfrmMain::cmdEffClick() { ClearLog(); }

void TfrmMain::cmdQuitterClick() { close(); }

void TfrmMain::chkGrilleClick()
{
    display_.chkGrilleClick();
    BlitCanvas();
}

void TfrmMain::OnSequenceTextEdited(const QString& text)
{
    if (cmbDTMFSeq->currentIndex() < 0)
        return;
    QLineEdit* edit = cmbDTMFSeq->lineEdit();
    const int cursor = edit->cursorPosition();
    const QSignalBlocker blocker(cmbDTMFSeq);
    cmbDTMFSeq->setCurrentIndex(-1);
    edit->setText(text);
    edit->setCursorPosition(cursor);
}

int TfrmMain::selectedSequenceItem() const { return cmbDTMFSeq->currentIndex(); }

// ---- Drawing ----

void TfrmMain::paintEvent(QPaintEvent* event)
{
    const QRegion exposed = event->region() - pendingBlit_;
    pendingBlit_ -= event->region();
    if (shown_ && !exposed.isEmpty())
        FormPaint(exposed);
    QPainter painter(this);
    painter.drawImage(PlotRect().topLeft(), canvasImage_, PlotRect());
}

void TfrmMain::FormPaint(const QRegion& exposed)
{
    for (const QRect& r : exposed) {
        canvas_.SetClipRect(r.left(), r.top(), r.right() + 1, r.bottom() + 1);
        display_.FormPaint();
    }
    canvas_.ClearClip();
}

void TfrmMain::BlitCanvas()
{
    pendingBlit_ += PlotRect();
    update(PlotRect());
}

void TfrmMain::DrawSpectrum(const std::int32_t* magnitudes, int count)
{
    display_.DrawSpectrum(magnitudes, count);
    if (capturing_)
        BlitCanvas();
}

// ---- Hosts ----

void TfrmMain::ShowMessage(const std::string& text) { messages_->ShowMessage(text); }

void TfrmMain::ProcessPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

int TfrmMain::Threshold() const { return tbSeuil->maximum() - tbSeuil->value(); }

void TfrmMain::SetIndicatorColour(int tone, std::uint32_t colour)
{
    if (tone < 0 || tone >= 8 || indicatorColour_[static_cast<std::size_t>(tone)] == colour)
        return;
    indicatorColour_[static_cast<std::size_t>(tone)] = colour;
    QPalette palette = l[tone]->palette();
    palette.setColor(QPalette::WindowText, ColourOf(colour));
    l[tone]->setPalette(palette);
}

void TfrmMain::OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators& indicators)
{
    for (int t = 0; t < 8; ++t)
        SetIndicatorColour(
            t, indicators[static_cast<std::size_t>(t)] ? kIndicatorOn : kIndicatorOff);
}

void TfrmMain::OnCharacter(std::int64_t, char character)
{
    // Appended to the line as it is now, whatever the operator typed into it.
    const QString shown = clearViewPending_ ? QString() : txtView->text();
    clearViewPending_ = false;
    txtView->setText(shown + QLatin1Char(character));
}

void TfrmMain::OnAnswer(const std::string& text)
{
    // The answer stays in txtView until the next character.
    clearViewPending_ = true;
    AddLogLine(AnswerLogLine(text));
    if (answerQuality_ && DebugChecked())
        AddLogLine(AnswerQualityLogLine(*answerQuality_));
    answerQuality_.reset();
    decoder_.DecodeResponse(text);
}

void TfrmMain::AddLogLine(const std::string& line)
{
    // The log is editable: what the operator typed since it was cleared stays, above the line.
    if (logEmpty_ && memoLog->document()->isEmpty())
        memoLog->setPlainText(QString::fromStdString(line));
    else
        memoLog->appendPlainText(QString::fromStdString(line));
    logEmpty_ = false;
}

void TfrmMain::ClearLog()
{
    memoLog->clear();
    logEmpty_ = true;
}

QStringList TfrmMain::logLines() const
{
    QStringList lines;
    if (logEmpty_ && memoLog->document()->isEmpty())
        return lines;
    for (QTextBlock block = memoLog->document()->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

bool TfrmMain::DebugChecked() const { return chkDebug->isChecked(); }

int TfrmMain::SequenceItemCount() const { return cmbDTMFSeq->count(); }

std::string TfrmMain::SequenceItemText(int index) const
{
    return cmbDTMFSeq->itemText(index).toStdString();
}

void TfrmMain::SetThresholdPosition(int position) { tbSeuil->setValue(position); }

void TfrmMain::SetSoundDevices(const std::string& input, const std::string& output)
{
    devices_ = DeviceChoice(input, output);
}

void TfrmMain::ClearSequenceItems()
{
    cmbDTMFSeq->clear();
    cmbDTMFSeq->clearEditText();
}

void TfrmMain::AddSequenceItem(const std::string& text)
{
    // Adding to an empty box would select the item; the window selects one only at first showing.
    const QSignalBlocker blocker(cmbDTMFSeq);
    const int selected = cmbDTMFSeq->currentIndex();
    const QString editText = cmbDTMFSeq->currentText();
    cmbDTMFSeq->addItem(QString::fromStdString(text));
    if (selected < 0) {
        cmbDTMFSeq->setCurrentIndex(-1);
        cmbDTMFSeq->setEditText(editText);
    }
}

bool TfrmMain::GrilleChecked() const { return chkGrille->isChecked(); }

void TfrmMain::SetIndicatorLeft(int tone, int left)
{
    if (tone >= 0 && tone < 8)
        l[tone]->move(left, l[tone]->y());
}

} // namespace quelsor
