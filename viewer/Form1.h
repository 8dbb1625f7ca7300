// SPDX-License-Identifier: MIT
// The viewer's only window: shows the text picture the maker is writing and
// reads it again every tick of Timer1 while it grows. A small file is read
// before ReloadIfChanged returns; a larger one on a worker thread, so that the
// window shows and answers at once.
#pragma once

#include "viewer/TextPictureFile.h"
#include "viewer/ViewerServices.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

#include <QTextDocument>
#include <QThread>

#include <cstdint>
#include <memory>

inline const QString kViewerTitle = QStringLiteral("Lumenpane");

class Form1 : public QWidget {
    Q_OBJECT
public:
    // argumentText is the command line after the program's name, joined by blanks.
    explicit Form1(const QString& argumentText, ViewerServices services = ViewerServices::Real(),
                   QWidget* parent = nullptr);
    ~Form1() override;

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

    // Reads the file again when its length differs from the last look. While
    // a read runs on the worker thread, nothing: the next tick looks again.
    void ReloadIfChanged();
    void ApplyFontSize();
    void FitTextBox();

    const QString& ArgumentText() const { return argumentText_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildSizeBox();
    void BuildTextBox();
    // Beside the maker when it handed over its geometry; else where the platform puts it.
    void PlaceBesideMaker();
    // The scroll bars' range for the text as it is now laid out.
    void RefreshScrollRange();
    void ReadInBackground();
    // Shows what a read gave: the picture and its document, or why the file
    // is not shown; after a failed read, nothing changes.
    void TakePicture(std::optional<TextPicture> picture, std::unique_ptr<QTextDocument> document);
    void ShowDocument(std::unique_ptr<QTextDocument> document);
    // Empties the box and says why in its place.
    void Refuse(const QString& why, qint64 length);

    ViewerServices services_;
    QString argumentText_;
    // The file's length when it was last read or refused.
    qint64 seenLength_ = 0;
    QThread* reader_ = nullptr;
    QString placeholderBeforeReading_;
};
