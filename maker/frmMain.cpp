#include "frmMain.h"

#include "Conversion.h"
#include "DatabaseFile.h"
#include "CodePage932.h"
#include "DatabaseLocation.h"
#include "General.h"
#include "GlyphMeasure.h"
#include "JapaneseFont.h"
#include "MessageBox.h"
#include "NumberPattern.h"
#include "TextPictureOutput.h"
#include "ViewerLaunch.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopedValueRollback>

namespace {

// Positions are laid out in twips; 15 twips make a pixel at 96 dots per inch.
QRect Twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

const QString kCaptionCreate = QStringLiteral("データベース作成");
const QString kCaptionConvert = QStringLiteral("画像ファイル変換");
constexpr int32_t kInvalidPictureError = 481;

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

// The measuring surface, shown in Picture1 as characters are drawn on it. A
// repaint per character costs a quarter of a millisecond on an X server, more
// than the measuring itself, so the characters are shown at the screen's pace.
class Picture1Canvas : public GlyphCanvas {
public:
    Picture1Canvas(const GlyphFont& font, PictureBox* box, int refreshMs)
        : GlyphCanvas(font), box_(box), refreshMs_(refreshMs)
    {
    }
    void PrintAt(int32_t x, int32_t y, const QString& text) override
    {
        GlyphCanvas::PrintAt(x, y, text);
        if (shown_.isValid() && shown_.elapsed() < refreshMs_)
            return;
        shown_.start();
        box_->SetPicture(Image());
        box_->repaint();
    }
    void Cls() override
    {
        GlyphCanvas::Cls();
        box_->Cls();
    }

private:
    PictureBox* box_;
    int refreshMs_;
    QElapsedTimer shown_;
};

} // namespace

frmMain::frmMain(const QString& programDir, QWidget* parent)
    : QWidget(parent),
      Dialog(this),
      Dialog2(this),
      programDir_(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir)
{
    GlyphFontFile = FindGlyphFontFile();
    setWindowTitle(kMakerTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/pictoria.png")));
    setFont(JapaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), Pitch::Proportional, 9.75));
    setFixedSize(4095 / 15, 3375 / 15);

    const QFont labelFont = JapaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), Pitch::Proportional, 12);

    Command1 = new QPushButton(kCaptionCreate, this);
    Command1->setGeometry(Twips(120, 120, 2655, 495));
    Command1->setFont(JapaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), Pitch::Proportional, 12, 700));

    Picture1 = new PictureBox(this);
    Picture1->setGeometry(Twips(2880, 180, 375, 375));
    Picture1->SetSurfaceSize(Picture1->size());
    Picture1->setFocusPolicy(Qt::NoFocus);

    // Holds the image being converted; it lies beyond the client area and is never shown.
    Picture2 = new PictureBox(this);
    Picture2->setGeometry(Twips(4320, 120, 1320, 900));
    Picture2->hide();

    Label2 = new QLabel(QStringLiteral("変換率"), this);
    Label2->setGeometry(Twips(240, 930, 735, 255));
    Label2->setFont(labelFont);

    Combo1 = new QComboBox(this);
    Combo1->setGeometry(Twips(1560, 900, 2415, 315));
    Combo1->addItems({QStringLiteral("４ピクセル四方／文字"), QStringLiteral("８ピクセル四方／文字"),
                      QStringLiteral("１６ピクセル四方／文字"), QStringLiteral("３２ピクセル四方／文字")});
    for (int i = 0; i < Combo1->count(); ++i)
        Combo1->setItemData(i, 0);
    Combo1->setCurrentIndex(-1); // nothing is selected until start-up picks the cell size

    auto makeSlider = [this](const QRect& r) {
        auto* s = new QSlider(Qt::Horizontal, this);
        s->setGeometry(r);
        s->setRange(0, 10);
        s->setValue(5);
        s->setPageStep(1);
        s->setTickPosition(QSlider::TicksBelow);
        s->setTickInterval(1);
        return s;
    };
    auto makeLabel = [this, &labelFont](const QString& text, const QRect& r) {
        auto* l = new QLabel(text, this);
        l->setGeometry(r);
        l->setFont(labelFont);
        return l;
    };
    Label3 = makeLabel(QStringLiteral("明るさ"), Twips(240, 1440, 735, 255));
    Slider1 = makeSlider(Twips(1560, 1380, 2355, 450));
    Label4 = makeLabel(QStringLiteral("コントラスト"), Twips(240, 1980, 1215, 255));
    Slider2 = makeSlider(Twips(1560, 1920, 2355, 450));
    Label5 = makeLabel(QStringLiteral("ばらつき"), Twips(240, 2520, 1215, 255));
    Slider3 = makeSlider(Twips(1560, 2460, 2355, 450));

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

    setTabOrder(Command1, Combo1);
    setTabOrder(Combo1, Slider1);
    setTabOrder(Slider1, Slider2);
    setTabOrder(Slider2, Slider3);

    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &frmMain::Combo1_Click);
    // A slider's setting follows every change of position the user makes.
    connect(Slider1, &QSlider::valueChanged, this, &frmMain::Slider1_Click);
    connect(Slider2, &QSlider::valueChanged, this, &frmMain::Slider2_Click);
    connect(Slider3, &QSlider::valueChanged, this, &frmMain::Slider3_Click);
}

frmMain::~frmMain() = default;

QString frmMain::DatabasePath() const
{
    return DatabaseLocation(programDir_);
}

void frmMain::Form_Load()
{
    show();
    repaint();

    // Setting the index runs Combo1_Click, which gives CellSize its start value.
    Combo1->setCurrentIndex(1);
    Variation = 5;
    Brightness = 8.0f;
    Contrast = 1.0f;
    ClearBuckets(GlyphBuckets);

    if (FileExists(DatabasePath())) {
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
    if (!DatabaseReady)
        CreateDatabase();
    else
        ConvertImage();
}

void frmMain::Combo1_Click()
{
    switch (Combo1->currentIndex()) {
    case 0: CellSize = 4; break;
    case 1: CellSize = 8; break;
    case 2: CellSize = 16; break;
    case 3: CellSize = 32; break;
    default: break; // no selection: the cell size stays
    }
}

void frmMain::Slider1_Click()
{
    Brightness = float(Slider1->value() + 3);
}

void frmMain::Slider2_Click()
{
    Contrast = float(double(Slider2->value() - 5) * 0.1 + 1.0);
}

void frmMain::Slider3_Click()
{
    int32_t v = Slider3->value();
    if (v == 10) v = 50;
    if (v == 9) v = 30;
    if (v == 8) v = 20;
    if (v == 7) v = 10;
    Variation = v;
}

bool frmMain::DoEvents()
{
    QCoreApplication::processEvents();
    return !closed_;
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
    DatabaseReadResult result;
    {
        WaitCursor wait;
        result = ReadDatabase(path, GlyphBuckets, [this](double percent) {
            Label1->setText(PercentText(QStringLiteral("データベース読込中 : "), percent));
            return DoEvents();
        });
        Label1->clear();
    }
    if (result.status == DatabaseReadStatus::Loaded || result.status == DatabaseReadStatus::Stopped)
        return;

    // A damaged or unreadable file is left as it is until a new database replaces it.
    ClearBuckets(GlyphBuckets);
    DatabaseReady = false;
    Command1->setText(kCaptionCreate);
    ShowMessage(this,
                QStringLiteral("データベース %1 を読み込めません（%2）。\n"
                               "データベースを作成し直して下さい。")
                    .arg(path, result.reason),
                kMakerTitle, QMessageBox::Warning);
}

void frmMain::CreateDatabase()
{
    QScopedValueRollback<bool> busy(busy_, true); // a click meanwhile does nothing
    const GlyphFont font(GlyphFontFile);
    if (!font.IsOpen()) {
        // Another family would give a different database; better none at all.
        ShowMessage(this,
                    QStringLiteral("文字の計測に使うフォント %1 が見つかりません（%2）。\n"
                                   "パッケージ %3 をインストールして下さい。")
                        .arg(kGlyphFontFamily, font.Error(), kGlyphFontPackage),
                    kMakerTitle, QMessageBox::Warning);
        return;
    }

    const QString path = DatabasePath();
    PrepareDatabaseDirectory(path);
    DatabaseWriteResult written;
    {
        WaitCursor wait;
        Picture1Canvas canvas(font, Picture1, ScreenRefreshMs);
        const MeasureResult measured = MeasureGlyphs(canvas, GlyphBuckets, [this](double percent) {
            Label1->setText(PercentText(QStringLiteral("データベース作成中 : "), percent));
            if (!DoEvents())
                return false;
            repaint();
            return true;
        });
        if (measured.stopped)
            return;
        written = WriteDatabase(path, GlyphBuckets, [this](double percent) {
            Label1->setText(PercentText(QStringLiteral("データベース保存中 : "), percent));
            return DoEvents();
        });
        if (written.stopped)
            return;
        Label1->clear();
        DatabaseReady = true;
        Command1->setText(kCaptionConvert);
    }
    if (!written.ok) {
        // The measured buckets still serve this run; only the next start lacks them.
        ShowMessage(this,
                    QStringLiteral("データベースを保存できませんでした。\n%1\n"
                                   "この実行中は作成したデータベースで変換できます。")
                        .arg(written.error),
                    kMakerTitle, QMessageBox::Warning);
        return;
    }
    ShowMessage(this, QStringLiteral("データベース作成しました"));
}

void frmMain::ConvertImage()
{
    QScopedValueRollback<bool> busy(busy_, true); // a click meanwhile does nothing

    // The dialog phase: a cancel or a failure only records its error number,
    // and each checkpoint ends the run silently once one is recorded.
    int32_t err = 0;
    Dialog.CancelError = true;
    Dialog.DialogTitle = QStringLiteral("画像ファイル(入力)");
    Dialog.Filter = QStringLiteral("画像ファイル |*.jpg;*.jpeg;*.bmp;*.gif");
    Dialog.Flags = CommonDialog::kExplorer | CommonDialog::kFileMustExist | CommonDialog::kPathMustExist;
    err = Dialog.ShowOpen();
    if (err > 0 || closed_)
        return;
    if (!Picture2->LoadPicture(Dialog.FileName))
        err = kInvalidPictureError;
    if (err > 0)
        return;
    Dialog2.CancelError = true;
    Dialog2.DialogTitle = QStringLiteral("テキストファイル(出力)");
    Dialog2.Filter = QStringLiteral("テキストファイル(*.txt) |*.txt");
    Dialog2.Flags = CommonDialog::kOverwritePrompt | CommonDialog::kPathMustExist;
    err = Dialog2.ShowSave();
    if (err > 0 || closed_)
        return;

    // The cell size in force now holds for the whole run; the grid depends on it.
    const int32_t cellSize = CellSize;
    const QString output = Dialog2.FileName;
    QString error;
    if (!CreateEmptyTextFile(output, &error)) {
        ShowMessage(this, QStringLiteral("出力ファイルを作成できません。\n%1").arg(error), kMakerTitle,
                    QMessageBox::Warning);
        return;
    }
    const QString viewer = AddPathSeparator(programDir_) + kViewerProgramName;
    if (!StartViewer(viewer, output)) {
        // The picture is still worth writing; it can be opened later.
        ShowMessage(this, QStringLiteral("ビューアを起動できません。\n%1").arg(viewer), kMakerTitle,
                    QMessageBox::Warning);
        if (closed_)
            return;
    }

    const GlyphTable table(GlyphBuckets);
    const ImagePixels pixels(Picture2->Image());
    ConversionHooks hooks;
    hooks.settings = [this] { return ConversionSettings{Brightness, Contrast, Variation}; };
    hooks.writeRow = [&](const QByteArray& row) { return AppendRow(output, row, &error); };
    // The status line is rewritten only as often as a screen can show it, and
    // pending events run once a millisecond: repainting after every cell would
    // cost ten times the conversion itself, and even an empty pass of the event
    // loop costs half as much as choosing a character. Neither is visible.
    QElapsedTimer clock;
    clock.start();
    qint64 lastLabel = -1;
    qint64 lastEvents = 0;
    hooks.afterCell = [&](double percent, int32_t code) {
        const qint64 now = clock.nsecsElapsed();
        if (lastLabel < 0 || now - lastLabel >= qint64(ScreenRefreshMs) * 1000000) {
            Label1->setText(QStringLiteral("文字絵作成中 : ")
                            + PadToWidth(FormatNumber(percent, QStringLiteral("##0.0")) + u'%', 6, true)
                            + QStringLiteral(" : ") + CharFromCode(code));
            lastLabel = now;
        }
        if (now - lastEvents < qint64(EventIntervalUs) * 1000)
            return true;
        lastEvents = now;
        return DoEvents();
    };
    const ConversionEnd end = ConvertCells(pixels, cellSize, table, ProgramRnd(), hooks);
    if (closed_)
        return;
    Label1->clear();
    if (end == ConversionEnd::Stopped) {
        ShowMessage(this, QStringLiteral("出力ファイルに書き込めません。書き込んだ行は残っています。\n%1").arg(error),
                    kMakerTitle, QMessageBox::Warning);
        return;
    }
    ShowMessage(this, QStringLiteral("完了しました"));
}
