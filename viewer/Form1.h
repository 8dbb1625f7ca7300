// The viewer's only window: shows the text picture the maker is writing and
// reads it again every tick of Timer1 while it grows.
#pragma once

#include "TextPictureFile.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

inline const QString kViewerTitle = QStringLiteral("Lumenpane");

// The number a text begins with, as Visual Basic's Val reads it: "12" is 12,
// "9pt" is 9, "abc" is 0. Blanks in front are skipped.
double Val(const QString& text);

// font at the size nearest to points at which a full-width character is
// exactly two half-width ones wide: an even number of pixels per em at dpi.
// Odd or fractional pixel sizes round the two widths apart and the columns of
// a picture drift. At 96 dpi 6, 9, 12 and 15 points stay as they are.
QFont CellAlignedFont(QFont font, double points, double dpi);

class Form1 : public QWidget {
    Q_OBJECT
public:
    // argumentText is the command line after the program's name, joined by blanks.
    explicit Form1(const QString& argumentText, QWidget* parent = nullptr);

    // Milliseconds between rereads; tests shorten it before creating a window.
    static inline int TimerInterval = 10000;

    // When set, takes message box texts instead of showing a modal box.
    using MessageHook = std::function<void(const QString& text, const QString& caption)>;
    static inline MessageHook Message;

    QComboBox* Combo1;
    QPlainTextEdit* Text1;
    QLabel* Label1;
    QTimer* Timer1;

    // Length of the file when it was last read.
    int32_t FileSize = 0;
    // Text1's text with its CR LF line ends. Text1 itself holds one paragraph
    // per line, which is what QPlainTextEdit makes of line ends anyway.
    QString Text1Text;

    // Start-up before the window shows. False when there is no argument: the
    // user has been told and the program must end without showing the window.
    bool Form_Load();

    void ReloadIfChanged();
    void ApplyFontSize();
    void FitTextBox();

    const QString& ArgumentText() const { return argumentText_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The read itself, separate so a test can make the file vanish just before it.
    virtual std::optional<TextPicture> ReadPicture(const QString& path);

private:
    QString argumentText_;
};
