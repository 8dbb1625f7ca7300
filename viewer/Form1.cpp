#include "Form1.h"

#include "General.h"
#include "JapaneseFont.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kCaption = QStringLiteral("Inkwindow");

void ShowMessage(const QString& text)
{
    if (Form1::Message) {
        Form1::Message(text, kViewerTitle);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, kViewerTitle, text, QMessageBox::Ok);
    box.exec();
}

} // namespace

// The icon lives in a static library; naming its resource keeps the linker
// from dropping it. The macro must not be used inside a namespace.
static void InitResources()
{
    Q_INIT_RESOURCE(lumenpane);
}

double Val(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'.' && !point)
            point = true;
        else if (c < u'0' || c > u'9')
            break;
    }
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0.0;
}

QFont CellAlignedFont(QFont font, double points, double dpi)
{
    const double pixels = std::max(2.0, 2.0 * std::round(points * dpi / 72.0 / 2.0));
    font.setPointSizeF(pixels * 72.0 / dpi);
    return font;
}

Form1::Form1(const QString& argumentText, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      argumentText_(argumentText)
{
    InitResources();
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/lumenpane/lumenpane.png")));
    setFont(JapaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), Pitch::Proportional, 9));
    resize(615, 495);

    Label1 = new QLabel(QStringLiteral("フォントサイズ"), this);
    Label1->setGeometry(8, 8, std::max(81, Label1->sizeHint().width()), 13);

    Combo1 = new QComboBox(this);
    Combo1->setEditable(true);
    // Typed sizes stay in the field only; the list is fixed.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->addItems({QStringLiteral("4"), QStringLiteral("6"), QStringLiteral("8"), QStringLiteral("9"),
                      QStringLiteral("10"), QStringLiteral("12"), QStringLiteral("15")});
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QStringLiteral("9"));
    Combo1->setGeometry(100, 4, 69, 20);
    Combo1->lineEdit()->installEventFilter(this);
    connect(Combo1, &QComboBox::activated, this, &Form1::ApplyFontSize);

    Text1 = new QPlainTextEdit(this);
    Text1->setGeometry(4, 28, 609, 465);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A picture is replaced whole every reload; an undo history would only hold old copies.
    Text1->setUndoRedoEnabled(false);
    Text1->setFont(CellAlignedFont(JapaneseFont(QStringLiteral("ＭＳ ゴシック"), Pitch::Fixed, 9), 9,
                                   Text1->logicalDpiY()));

    setTabOrder(Combo1, Text1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(TimerInterval);
    connect(Timer1, &QTimer::timeout, this, &Form1::ReloadIfChanged);
    Timer1->start();
}

bool Form1::Form_Load()
{
    if (argumentText_.isEmpty()) {
        ShowMessage(QStringLiteral("Pictoria.exe から実行して下さい"));
        return false;
    }
    setWindowTitle(kCaption + QStringLiteral(" - ") + argumentText_);
    ReloadIfChanged();
    show();
    raise();
    activateWindow();
    return true;
}

void Form1::ReloadIfChanged()
{
    if (!FileExists(argumentText_))
        return;
    const std::optional<qint64> length = RegularFileLength(argumentText_);
    // A file past 2 GB cannot be a picture of ours and would not fit FileSize.
    if (!length || *length > std::numeric_limits<int32_t>::max() || *length == FileSize)
        return;
    const std::optional<TextPicture> picture = ReadPicture(argumentText_);
    if (!picture || picture->size > std::numeric_limits<int32_t>::max())
        return;

    // Keep the user's place in a picture that is still growing.
    QScrollBar* h = Text1->horizontalScrollBar();
    QScrollBar* v = Text1->verticalScrollBar();
    const int hValue = h->value();
    const int vValue = v->value();
    Text1->setPlainText(picture->display);
    v->setValue(vValue);
    h->setValue(hValue);

    Text1Text = picture->text;
    FileSize = static_cast<int32_t>(picture->size);
}

std::optional<TextPicture> Form1::ReadPicture(const QString& path)
{
    return ReadTextPictureFile(path);
}

void Form1::ApplyFontSize()
{
    const double size = Val(Combo1->currentText());
    if (size > 0)
        Text1->setFont(CellAlignedFont(Text1->font(), static_cast<float>(size), Text1->logicalDpiY()));
}

void Form1::FitTextBox()
{
    if (isMinimized())
        return;
    Text1->setGeometry(4, 28, std::max(0, width() - 6), std::max(0, height() - 30));
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FitTextBox();
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FitTextBox();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        FitTextBox();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the size field would make QComboBox activate a matching item;
    // only a pick from the list changes the font.
    if (watched == Combo1->lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}
