// SPDX-License-Identifier: MIT
#include "viewer/Form1.h"

#include "common/NumberPattern.h"
#include "ui/JapaneseFont.h"
#include "ui/MessageBox.h"
#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextDocumentLayout>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
const QString kCaption = QStringLiteral("Inkwindow");

// Up to this length a file is read before ReloadIfChanged returns: that takes
// a few hundredths of a second, and the window comes up with its picture.
constexpr qint64 kReadInPlaceBytes = qint64(2) << 20;

// A document of the display pieces, each let go once the document holds it.
// It gets no layout here: laying out is the window's work, on its thread.
std::unique_ptr<QTextDocument> NewDocument(QStringList& pieces)
{
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document.get());
    cursor.beginEditBlock();
    for (QString& piece : pieces)
        cursor.insertText(std::exchange(piece, QString()));
    cursor.endEditBlock();
    return document;
}

QString Grouped(qint64 n)
{
    return QLocale(QLocale::Japanese).toString(n);
}
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
    // Leaving the field (Tab, a click elsewhere) ends its editing, and
    // QComboBox answers that by activating the item matching the typed text.
    QObject::disconnect(Combo1->lineEdit(), &QLineEdit::editingFinished, Combo1, nullptr);
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
    // reach a window that is being destroyed. A read under way is let finish:
    // its thread cannot be stopped part-way.
    if (reader_)
        reader_->wait();
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
    if (reader_)
        return;
    const std::optional<qint64> length = RegularFileLength(argumentText_);
    if (!length || *length == seenLength_)
        return;
    if (*length > kLargestTextPictureBytes) {
        Refuse(QStringLiteral(
                   "このファイルは大きすぎるため表示しません。\n%1\n大きさ: %2 バイト（表示できるのは %3 バイトまで）")
                   .arg(argumentText_, Grouped(*length), Grouped(kLargestTextPictureBytes)),
               *length);
        return;
    }
    if (*length > kReadInPlaceBytes) {
        ReadInBackground();
        return;
    }
    std::optional<TextPicture> picture = services_.readPicture(argumentText_);
    std::unique_ptr<QTextDocument> document;
    if (picture && !picture->tooManyLines)
        document = NewDocument(picture->display);
    TakePicture(std::move(picture), std::move(document));
}

void Form1::ReadInBackground()
{
    struct Result {
        std::optional<TextPicture> picture;
        std::unique_ptr<QTextDocument> document;
    };
    const auto result = std::make_shared<Result>();
    reader_ = QThread::create([result, read = services_.readPicture, path = argumentText_, window = thread()] {
        result->picture = read(path);
        if (result->picture && !result->picture->tooManyLines) {
            result->document = NewDocument(result->picture->display);
            result->document->moveToThread(window);
        }
    });
    reader_->setParent(this);
    connect(reader_, &QThread::finished, this, [this, result] {
        reader_->wait(); // finished comes just before the thread's very end
        reader_->deleteLater();
        reader_ = nullptr;
        Text1->setPlaceholderText(placeholderBeforeReading_);
        TakePicture(std::move(result->picture), std::move(result->document));
    });
    placeholderBeforeReading_ = Text1->placeholderText();
    Text1->setPlaceholderText(QStringLiteral("読み込み中…"));
    reader_->start();
}

void Form1::TakePicture(std::optional<TextPicture> picture, std::unique_ptr<QTextDocument> document)
{
    if (!picture || picture->size > kLargestTextPictureBytes)
        return; // unreadable for now: the next tick tries again
    if (picture->tooManyLines) {
        Refuse(QStringLiteral("このファイルは行が多すぎるため表示しません。\n%1\n表示できるのは %2 行までです。")
                   .arg(argumentText_, Grouped(kMostTextPictureLines)),
               picture->size);
        return;
    }
    ShowDocument(std::move(document));
    Text1Text = std::move(picture->text);
    FileSize = static_cast<int32_t>(picture->size);
    seenLength_ = picture->size;
}

void Form1::ShowDocument(std::unique_ptr<QTextDocument> document)
{
    // Keep the user's place in a picture that is still growing.
    QScrollBar* h = Text1->horizontalScrollBar();
    QScrollBar* v = Text1->verticalScrollBar();
    const int hValue = h->value();
    const int vValue = v->value();
    // The font first: a document with a layout would be laid out for each.
    document->setDefaultFont(Text1->font());
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
    document->setParent(Text1);
    // The box deletes only the document it made itself; ours go here.
    QTextDocument* const old = Text1->document();
    const bool oldIsOurs = old->parent() == Text1;
    Text1->setDocument(document.release());
    if (oldIsOurs)
        delete old;
    Text1->setPlaceholderText(QString());
    RefreshScrollRange();
    v->setValue(vValue);
    h->setValue(hValue);
}

void Form1::Refuse(const QString& why, qint64 length)
{
    Text1->clear();
    Text1->setPlaceholderText(why);
    Text1Text.clear();
    FileSize = 0;
    seenLength_ = length;
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
