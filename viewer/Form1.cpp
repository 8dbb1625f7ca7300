// SPDX-License-Identifier: MIT
#include "viewer/Form1.h"

#include "common/General.h"
#include "common/NumberPattern.h"
#include "ui/JapaneseFont.h"
#include "ui/MessageBox.h"
#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QString kCaption = QStringLiteral("Inkwindow");
} // namespace

// The icon lives in a static library; naming its resource keeps the linker
// from dropping it. The macro must not be used inside a namespace.
static void InitResources()
{
    Q_INIT_RESOURCE(lumenpane);
}

ViewerServices ViewerServices::Real()
{
    ViewerServices s;
    s.message = ShowMessage;
    s.readPicture = ReadTextPictureFile;
    s.makerGeometry = qEnvironmentVariable(kMakerGeometryVariable);
    return s;
}

Form1::Form1(const QString& argumentText, ViewerServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      services_(std::move(services)),
      argumentText_(argumentText)
{
    InitResources();
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/lumenpane/lumenpane.png")));
    setFont(JapaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), Pitch::Proportional, 9));
    resize(615, 495);

    BuildSizeBox();
    BuildTextBox();
    setTabOrder(Combo1, Text1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(services_.rereadInterval);
    connect(Timer1, &QTimer::timeout, this, &Form1::ReloadIfChanged);
    Timer1->start();
}

void Form1::BuildSizeBox()
{
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
    // Only a pick from the open list sets the size: no completion in the
    // field ("1" would become "10" and be taken), and the keys and wheel that
    // would pick an item without opening the list are kept from the box.
    Combo1->setCompleter(nullptr);
    Combo1->lineEdit()->installEventFilter(this);
    Combo1->installEventFilter(this);
    connect(Combo1, &QComboBox::activated, this, &Form1::ApplyFontSize);
}

void Form1::BuildTextBox()
{
    Text1 = new QPlainTextEdit(this);
    Text1->setGeometry(4, 28, 609, 465);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A picture is replaced whole every reload; an undo history would only hold old copies.
    Text1->setUndoRedoEnabled(false);
    Text1->setFont(
        CellAlignedFont(JapaneseFont(QStringLiteral("ＭＳ ゴシック"), Pitch::Fixed, 9), 9, Text1->logicalDpiY()));
}

Form1::~Form1()
{
    // The children outlive this body; none of their signals or events may
    // reach a window that is being destroyed.
    Timer1->stop();
    Combo1->disconnect(this);
    Combo1->removeEventFilter(this);
    Combo1->lineEdit()->removeEventFilter(this);
}

void Form1::PlaceBesideMaker()
{
    const std::optional<WindowGeometry> maker = DecodeWindowGeometry(services_.makerGeometry);
    if (!maker)
        return;
    QScreen* screen = QGuiApplication::screenAt(maker->frame.center());
    if (!screen)
        return;
    // The same window manager frames both windows alike.
    const QSize frame = size() + (maker->frame.size() - maker->client.size());
    if (const std::optional<QPoint> at = PlaceBeside(maker->frame, frame, screen->availableGeometry()))
        move(*at);
}

bool Form1::Form_Load()
{
    if (argumentText_.isEmpty()) {
        services_.message(this, QStringLiteral("Pictoria.exe から実行して下さい"), kViewerTitle, QMessageBox::NoIcon);
        return false;
    }
    setWindowTitle(kCaption + QStringLiteral(" - ") + argumentText_);
    ReloadIfChanged();
    PlaceBesideMaker();
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
    const std::optional<TextPicture> picture = services_.readPicture(argumentText_);
    if (!picture || picture->size > std::numeric_limits<int32_t>::max())
        return;

    // Keep the user's place in a picture that is still growing.
    QScrollBar* h = Text1->horizontalScrollBar();
    QScrollBar* v = Text1->verticalScrollBar();
    const int hValue = h->value();
    const int vValue = v->value();
    Text1->setPlainText(picture->display);
    RefreshScrollRange();
    v->setValue(vValue);
    h->setValue(hValue);

    Text1Text = picture->text;
    FileSize = static_cast<int32_t>(picture->size);
}

void Form1::ApplyFontSize()
{
    const double size = Val(Combo1->currentText());
    if (size > 0) {
        Text1->setFont(CellAlignedFont(Text1->font(), static_cast<float>(size), Text1->logicalDpiY()));
        RefreshScrollRange();
    }
}

void Form1::RefreshScrollRange()
{
    // QPlainTextEdit counts its vertical range in lines and measures how many
    // fit only when its viewport really changes size; a new font or text
    // changes that count, so the box is resized by a pixel and back.
    const QSize size = Text1->size();
    Text1->resize(size.width(), size.height() + 1);
    Text1->resize(size);
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
    // Enter in the size field would make QComboBox activate a matching item,
    // and the arrow keys or the wheel would pick one in the closed box; only a
    // pick from the open list changes the font.
    if ((watched == Combo1 || watched == Combo1->lineEdit()) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::AltModifier)
            return QWidget::eventFilter(watched, event); // Alt+Down opens the list
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: return true;
        default: break;
        }
    }
    if (watched == Combo1 && event->type() == QEvent::Wheel)
        return true;
    return QWidget::eventFilter(watched, event);
}
