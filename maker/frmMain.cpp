// SPDX-License-Identifier: MIT
#include "maker/frmMain.h"

#include "common/CodePage932.h"
#include "common/FileAccess.h"
#include "common/General.h"
#include "common/NumberPattern.h"
#include "common/Throttle.h"
#include "engine/DatabaseLocation.h"
#include "engine/GlyphDatabase.h"
#include "engine/GlyphFont.h"
#include "engine/OverwriteGuard.h"
#include "engine/Settings.h"
#include "engine/TextPictureOutput.h"
#include "ui/JapaneseFont.h"
#include "ui/JapaneseReason.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QTimer>
#include <QWheelEvent>

#include <cerrno>
#include <utility>

namespace {

const QString kMakerTitle = QStringLiteral("Inkgarden");
const QString kCaptionCreate = QStringLiteral("データベース作成");
const QString kCaptionConvert = QStringLiteral("画像ファイル変換");
const QString kWindowFontFamily = QStringLiteral("ＭＳ Ｐゴシック");
constexpr int32_t kInvalidPictureError = 481;

// Positions are laid out in twips; 15 twips make a pixel at 96 dots per inch.
QRect Twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString PercentText(const QString& prefix, double percent)
{
    return prefix + PadToWidth(FormatNumber(percent, QStringLiteral("##0")) + u'%', 4, true);
}

QString CellProgressText(double percent, int32_t code)
{
    return QStringLiteral("文字絵作成中 : ") +
           PadToWidth(FormatNumber(percent, QStringLiteral("##0.0")) + u'%', 6, true) + QStringLiteral(" : ") +
           CharFromCode(code);
}

} // namespace

// The icon lives in a static library; naming its resource keeps the linker
// from dropping it. The macro must not be used inside a namespace.
static void InitResources()
{
    Q_INIT_RESOURCE(pictoria);
}

void ClickSlider::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->buttons() == Qt::NoButton)
        emit Click();
}

void ClickSlider::keyPressEvent(QKeyEvent* event)
{
    const int before = value();
    QSlider::keyPressEvent(event);
    if (value() != before)
        emit Click();
}

void ClickSlider::wheelEvent(QWheelEvent* event)
{
    const int before = value();
    QSlider::wheelEvent(event);
    if (value() != before)
        emit Click();
}

frmMain::frmMain(const QString& programDir, MakerServices services, QWidget* parent)
    : QWidget(parent),
      Dialog(this, services.chooseFile),
      Dialog2(this, services.chooseFile),
      services_(std::move(services)),
      programDir_(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir)
{
    InitResources();
    GlyphFontFile = FindGlyphFontFile();
    setWindowTitle(kMakerTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/pictoria.png")));
    setFont(JapaneseFont(kWindowFontFamily, Pitch::Proportional, 9.75));
    setFixedSize(4095 / 15, 3375 / 15);
    setAcceptDrops(true); // a picture dropped on the window is converted
    BuildCommandRow();
    BuildSettingRows();
    BuildStatusLine();
    ConnectHandlers();
}

frmMain::~frmMain() = default;

void frmMain::BuildCommandRow()
{
    Command1 = new QPushButton(kCaptionCreate, this);
    Command1->setGeometry(Twips(120, 120, 2655, 495));
    Command1->setFont(JapaneseFont(kWindowFontFamily, Pitch::Proportional, 12, 700));

    Picture1 = new PictureBox(this);
    Picture1->setGeometry(Twips(2880, 180, 375, 375));
    Picture1->SetSurfaceSize(Picture1->size());
    Picture1->setFocusPolicy(Qt::NoFocus);

    // Holds the picture being converted; it lies beyond the client area and is never shown.
    Picture2 = new PictureBox(this);
    Picture2->setGeometry(Twips(4320, 120, 1320, 900));
    Picture2->hide();
}

void frmMain::BuildSettingRows()
{
    const QFont labelFont = JapaneseFont(kWindowFontFamily, Pitch::Proportional, 12);
    auto makeLabel = [this, &labelFont](const QString& text, const QRect& r) {
        auto* l = new QLabel(text, this);
        l->setGeometry(r);
        l->setFont(labelFont);
        return l;
    };
    auto makeSlider = [this](const QRect& r) {
        auto* s = new ClickSlider(this);
        s->setGeometry(r);
        s->setRange(Settings::kSliderMin, Settings::kSliderMax);
        s->setValue(Settings::kSliderStart);
        s->setPageStep(1);
        s->setTickPosition(QSlider::TicksBelow);
        s->setTickInterval(1);
        return s;
    };
    Label2 = makeLabel(QStringLiteral("変換率"), Twips(240, 930, 735, 255));
    Combo1 = new QComboBox(this);
    Combo1->setGeometry(Twips(1560, 900, 2415, 315));
    for (const Settings::CellSizeItem& item : Settings::kCellSizes)
        Combo1->addItem(QString::fromUtf16(item.item), 0);
    Combo1->setCurrentIndex(-1); // nothing is selected until start-up picks the cell size

    Label3 = makeLabel(QStringLiteral("明るさ"), Twips(240, 1440, 735, 255));
    Slider1 = makeSlider(Twips(1560, 1380, 2355, 450));
    Label4 = makeLabel(QStringLiteral("コントラスト"), Twips(240, 1980, 1215, 255));
    Slider2 = makeSlider(Twips(1560, 1920, 2355, 450));
    Label5 = makeLabel(QStringLiteral("ばらつき"), Twips(240, 2520, 1215, 255));
    Slider3 = makeSlider(Twips(1560, 2460, 2355, 450));
}

void frmMain::BuildStatusLine()
{
    // Two one-pixel lines, dark over light, make the etched separator.
    auto makeLine = [this](int y, QPalette::ColorRole role) {
        auto* line = new QFrame(this);
        line->setGeometry(0, y / 15, 4080 / 15, 1);
        line->setAutoFillBackground(true);
        line->setBackgroundRole(role);
        return line;
    };
    Line1 = makeLine(3060, QPalette::WindowText);
    Line2 = makeLine(3075, QPalette::Base);

    Label1 = new QLabel(this);
    Label1->setGeometry(Twips(60, 3120, 4035, 255));
    Label1->setFont(JapaneseFont(QStringLiteral("ＭＳ ゴシック"), Pitch::Fixed, 12));
}

void frmMain::ConnectHandlers()
{
    setTabOrder(Command1, Combo1);
    setTabOrder(Combo1, Slider1);
    setTabOrder(Slider1, Slider2);
    setTabOrder(Slider2, Slider3);

    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &frmMain::Combo1_Click);
    connect(Slider1, &ClickSlider::Click, this, &frmMain::Slider1_Click);
    connect(Slider2, &ClickSlider::Click, this, &frmMain::Slider2_Click);
    connect(Slider3, &ClickSlider::Click, this, &frmMain::Slider3_Click);
}

QString frmMain::DatabasePath() const
{
    return DatabaseLocation(programDir_);
}

void frmMain::Form_Load()
{
    show();
    Command1->setFocus(); // the keyboard starts at the button, as its look says
    repaint();

    // Setting the index runs Combo1_Click, which gives CellSize its start value.
    Combo1->setCurrentIndex(Settings::kStartCellSizeIndex);
    Variation = Settings::VariationAt(Settings::kSliderStart);
    Brightness = Settings::BrightnessAt(Settings::kSliderStart);
    Contrast = Settings::ContrastAt(Settings::kSliderStart);
    ClearBuckets(GlyphBuckets);

    if (LookForDatabase(DatabasePath()) == DatabasePresence::Readable) {
        DatabaseReady = true;
        Command1->setText(kCaptionConvert);
        show();
        repaint();
        LoadDatabase();
    } else {
        DatabaseReady = false;
        Command1->setText(kCaptionCreate);
    }
}

void frmMain::Command1_Click()
{
    if (busy_ || closed_)
        return;
    if (DatabaseReady) {
        ConvertImage();
        return;
    }
    CreateDatabase();
    if (DatabaseReady && !closed_ && pendingPicture_)
        ConvertImage(std::exchange(pendingPicture_, std::nullopt));
}

void frmMain::OpenPicture(const QString& path)
{
    if (busy_ || closed_)
        return;
    if (!DatabaseReady) {
        pendingPicture_ = path;
        return;
    }
    ConvertImage(path);
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls[0].isLocalFile())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile())
        return;
    event->acceptProposedAction();
    // After the drop has returned: the file manager waits for it.
    QTimer::singleShot(0, this, [this, path = urls[0].toLocalFile()] { OpenPicture(path); });
}

void frmMain::Combo1_Click()
{
    if (const std::optional<int32_t> size = Settings::CellSizeAt(Combo1->currentIndex()))
        CellSize = *size;
}

void frmMain::Slider1_Click()
{
    Brightness = Settings::BrightnessAt(Slider1->value());
}

void frmMain::Slider2_Click()
{
    Contrast = Settings::ContrastAt(Slider2->value());
}

void frmMain::Slider3_Click()
{
    Variation = Settings::VariationAt(Slider3->value());
}

bool frmMain::DoEvents()
{
    QCoreApplication::processEvents();
    return !closed_;
}

void frmMain::Warn(const QString& text)
{
    services_.message(this, text, kMakerTitle, QMessageBox::Warning);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // Closing can never be refused; a run in progress sees the flag at its next step.
    closed_ = true;
    event->accept();
    QCoreApplication::quit();
}

void frmMain::LoadDatabase()
{
    QScopedValueRollback<bool> busy(busy_, true); // a click meanwhile does nothing
    const QString path = DatabasePath();
    Outcome result = Outcome::Done();
    {
        WaitCursor wait;
        result = LoadGlyphDatabase(path, GlyphBuckets, [this](DatabaseStep, double percent) {
            Label1->setText(PercentText(QStringLiteral("データベース読込中 : "), percent));
            return DoEvents();
        });
        Label1->clear();
    }
    if (!result.IsFailed())
        return;

    // A damaged or unreadable file is left as it is until a new database replaces it.
    ClearBuckets(GlyphBuckets);
    DatabaseReady = false;
    Command1->setText(kCaptionCreate);
    Warn(QStringLiteral("データベース %1 を読み込めません（%2）。\n"
                        "データベースを作成し直して下さい。")
             .arg(path, JapaneseReason(result)));
}

void frmMain::CreateDatabase()
{
    QScopedValueRollback<bool> busy(busy_, true); // a click meanwhile does nothing
    const Outcome created = MeasureAndSave();
    if (created.IsStopped())
        return;
    if (created.IsDone()) {
        services_.message(this, QStringLiteral("データベース作成しました"), kMakerTitle, QMessageBox::NoIcon);
        return;
    }
    if (created.Kind() == FailureKind::NoFont) {
        Warn(QStringLiteral("文字の計測に使うフォント %1 が見つかりません（%2）。\n"
                            "パッケージ %3 をインストールして下さい。")
                 .arg(kGlyphFontFamily, JapaneseMessage(created), kGlyphFontPackage));
        return;
    }
    // The measured buckets still serve this run; only the next start lacks them.
    Warn(QStringLiteral("データベースを保存できませんでした。\n%1\n"
                        "この実行中は作成したデータベースで変換できます。")
             .arg(JapaneseMessage(created)));
}

Outcome frmMain::MeasureAndSave()
{
    WaitCursor wait;
    Throttle screen(services_.screenRefresh);
    const auto progress = [this](DatabaseStep step, double percent) {
        const bool measuring = step == DatabaseStep::Measuring;
        Label1->setText(PercentText(
            measuring ? QStringLiteral("データベース作成中 : ") : QStringLiteral("データベース保存中 : "), percent));
        if (!DoEvents())
            return false;
        if (measuring)
            repaint();
        return true;
    };
    // Picture1 shows the characters as they are measured, at the screen's pace.
    const auto show = [&](const QImage& canvas) {
        if (!screen.Due())
            return;
        Picture1->SetPicture(canvas);
        Picture1->repaint();
    };
    Outcome created = CreateGlyphDatabase(DatabasePath(), GlyphFontFile, GlyphBuckets, progress, show);
    Picture1->Cls();
    Label1->clear();
    if (GlyphsMeasured(created)) {
        DatabaseReady = true;
        Command1->setText(kCaptionConvert);
    }
    return created;
}

std::optional<QString> frmMain::AskForPictureAndOutput(const std::optional<QString>& picture,
                                                       std::unique_ptr<ConversionAhead>& ahead)
{
    // A cancel or a failure only records its error number, and each
    // checkpoint ends the run silently once one is recorded.
    int32_t err = 0;
    Dialog.CancelError = true;
    Dialog.DialogTitle = QStringLiteral("画像ファイル(入力)");
    Dialog.Filter = QStringLiteral("画像ファイル |*.jpg;*.jpeg;*.bmp;*.gif");
    Dialog.Flags = CommonDialog::kExplorer | CommonDialog::kFileMustExist | CommonDialog::kPathMustExist;
    if (picture)
        Dialog.FileName = *picture;
    else
        err = Dialog.ShowOpen();
    if (err > 0 || closed_)
        return std::nullopt;
    repaint(); // no leftovers of the dialog while a large picture decodes
    // The cells are converted while the picture loads and the user names the
    // output, with what is set now; the run takes them where that still holds.
    ahead = std::make_unique<ConversionAhead>(GlyphBuckets, CellSize, CurrentSettings(), rnd_.State());
    if (const Outcome loaded = Picture2->LoadPicture(Dialog.FileName, ahead.get()); !loaded.IsDone()) {
        ahead.reset();
        // A picture too large for memory is no bad picture: the user is told.
        if (loaded.Kind() == FailureKind::NoMemory)
            Warn(QStringLiteral("メモリが足りないため、画像を読み込めません。\n%1").arg(JapaneseMessage(loaded)));
        err = kInvalidPictureError;
    }
    if (err > 0)
        return std::nullopt;
    Dialog2.CancelError = true;
    Dialog2.DialogTitle = QStringLiteral("テキストファイル(出力)");
    Dialog2.Filter = QStringLiteral("テキストファイル(*.txt) |*.txt");
    Dialog2.Flags = CommonDialog::kOverwritePrompt | CommonDialog::kPathMustExist;
    err = Dialog2.ShowSave();
    if (err > 0 || closed_)
        return std::nullopt;
    repaint();
    const QString output = Dialog2.FileName;
    if (WarnOfOverwrittenInput(output))
        return std::nullopt;
    return output;
}

bool frmMain::WarnOfOverwrittenInput(const QString& output)
{
    // Emptying the output would destroy the picture or the database, whatever
    // links or ".." lead the answer there.
    const std::optional<OverwrittenInput> over = FindOverwrittenInput({output}, {Dialog.FileName}, DatabasePath());
    if (!over)
        return false;
    Warn(over->isDatabase ? QStringLiteral("出力ファイル %1 はデータベース %2 です。\n別のファイルを選んで下さい。")
                                .arg(output, over->input)
                          : QStringLiteral("出力ファイル %1 は変換する画像 %2 そのものです。\n"
                                           "画像を上書きしないよう、別のファイルを選んで下さい。")
                                .arg(output, over->input));
    return true;
}

bool frmMain::StartTextPicture(const QString& output)
{
    const Outcome created = CreateEmptyTextFile(output);
    if (!created.IsDone()) {
        Warn(QStringLiteral("出力ファイルを作成できません。\n%1").arg(JapaneseMessage(created)));
        return false;
    }
    const QString viewer = AddPathSeparator(programDir_) + kViewerProgramName;
    const QString makerGeometry = EncodeWindowGeometry({frameGeometry(), geometry()});
    if (const Outcome started = services_.startViewer(viewer, output, makerGeometry); !started.IsDone()) {
        // Like any failure from the output file's creation on, this ends the
        // run; the file stays, created and empty.
        Warn(QStringLiteral("ビューアを起動できません。\n%1").arg(JapaneseMessage(started)));
        return false;
    }
    return true;
}

ConversionSettings frmMain::CurrentSettings() const
{
    return ConversionSettings{Brightness, Contrast, Variation};
}

ConversionEnd frmMain::ConvertRows(const QString& output, int32_t cellSize, ConversionAhead* ahead, Outcome& written)
{
    Throttle label(services_.screenRefresh, 64);
    Throttle events(services_.eventInterval, 64);
    ConversionHooks hooks;
    hooks.settings = [this] { return CurrentSettings(); };
    hooks.writeRow = [&](const QByteArray& row) {
        written = AppendRow(output, row);
        return written.IsDone();
    };
    hooks.afterCell = [&](double percent, int32_t code) {
        if (label.Due())
            Label1->setText(CellProgressText(percent, code));
        return !events.Due() || DoEvents();
    };
    // Band by band on every core; the settings are read at every cell.
    if (ahead)
        return ConvertGrid(Picture2->Image(), cellSize, *ahead, rnd_, hooks);
    return ConvertGrid(Picture2->Image(), cellSize, GlyphTable(GlyphBuckets), rnd_, hooks);
}

void frmMain::ConvertImage(const std::optional<QString>& picture)
{
    QScopedValueRollback<bool> busy(busy_, true); // a click meanwhile does nothing
    std::unique_ptr<ConversionAhead> ahead;       // stopped when the run ends, however it ends
    const std::optional<QString> output = AskForPictureAndOutput(picture, ahead);
    if (!output)
        return;
    // The cell size in force now holds for the whole run, for the grid and the
    // sampling alike; a change meanwhile counts from the next run.
    const int32_t cellSize = CellSize;
    if (!StartTextPicture(*output))
        return;
    Outcome written = Outcome::Done();
    const ConversionEnd end = ConvertRows(*output, cellSize, ahead.get(), written);
    if (closed_)
        return;
    Label1->clear();
    if (end == ConversionEnd::Stopped) {
        // AppendRow has cut a half-written row off: the rows kept are whole.
        // A file removed meanwhile (with its directory, perhaps) kept nothing.
        Warn(written.Errno() == ENOENT
                 ? QStringLiteral("出力ファイルがなくなったため、書き込めません。\n%1").arg(JapaneseMessage(written))
                 : QStringLiteral("出力ファイルに書き込めません。書き込んだ行は残っています。\n%1")
                       .arg(JapaneseMessage(written)));
        return;
    }
    services_.message(this, QStringLiteral("完了しました"), kMakerTitle, QMessageBox::NoIcon);
}
