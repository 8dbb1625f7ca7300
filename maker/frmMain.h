// SPDX-License-Identifier: MIT
// The main window of Pictoria: the settings, the glyph buckets and the one
// command button that creates the glyph database or converts a picture.
//
// How the pieces meet: frmMain owns the settings (CellSize, Brightness,
// Contrast, Variation), the 16 GlyphBuckets and the program's one random
// generator. Its handlers set the settings from the controls through the
// table of engine/Settings.h. CreateDatabase and LoadDatabase run the engine's
// database pipeline (engine/GlyphDatabase.h) and only show its progress;
// ConvertImage asks for the files, starts the viewer, and lets the engine's
// ConvertGrid (engine/Conversion.h) sample and choose the cells band by band
// on every core while the window appends the rows and shows the progress;
// the settings it reads at every cell follow the controls from the next cell
// on. Everything outside the window (message boxes, dialogs, the viewer's
// start, refresh intervals) comes from the MakerServices given to the
// constructor.
#pragma once

#include "common/Outcome.h"
#include "engine/Conversion.h"
#include "engine/ConversionAhead.h"
#include "engine/GlyphBuckets.h"
#include "engine/GlyphChooser.h"
#include "engine/GlyphDatabase.h"
#include "maker/CommonDialog.h"
#include "maker/MakerServices.h"
#include "maker/PictureBox.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

#include <memory>
#include <optional>

// The sliders of the settings: a setting follows its slider when the user
// lets go of it. Click comes when the mouse button is released on the slider
// (a click on the groove or the end of a drag), so the positions a drag
// passes on its way are never used. A key or the wheel moving a focused
// slider clicks at once: nothing is let go of there, and the setting would
// otherwise differ from the position shown.
class ClickSlider : public QSlider {
    Q_OBJECT
public:
    explicit ClickSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

class frmMain : public QWidget {
    Q_OBJECT
public:
    // programDir is where "Standard.cdb" and the viewer live; empty means the
    // directory of the running program.
    explicit frmMain(const QString& programDir = QString(), MakerServices services = MakerServices::Real(),
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // Settings and database, alive for the whole run of the program.
    GlyphBucketArray GlyphBuckets;
    bool DatabaseReady = false;
    int32_t CellSize = 0;
    int32_t Variation = 0;
    float Brightness = 0;
    float Contrast = 0;

    // Controls.
    QPushButton* Command1;
    PictureBox* Picture1;
    PictureBox* Picture2;
    QLabel* Label1;
    QLabel* Label2;
    QComboBox* Combo1;
    QLabel* Label3;
    ClickSlider* Slider1;
    QLabel* Label4;
    ClickSlider* Slider2;
    QLabel* Label5;
    ClickSlider* Slider3;
    QFrame* Line1;
    QFrame* Line2;
    CommonDialog Dialog;  // the picture to convert
    CommonDialog Dialog2; // the text picture to write

    // Start-up: shows the window, sets the settings, looks for the database.
    void Form_Load();

    void Command1_Click();
    void Combo1_Click();
    void Slider1_Click();
    void Slider2_Click();
    void Slider3_Click();

    void CreateDatabase();
    void LoadDatabase();
    // Converts picture when given, as if it had been chosen in the open dialog.
    void ConvertImage(const std::optional<QString>& picture = std::nullopt);

    // A picture opened from outside the window (the command line, "Open with",
    // a drop): converted as if chosen in the open dialog, at once when the
    // database is ready, else once it has been created. While a run is busy
    // it is ignored, as a click would be.
    void OpenPicture(const QString& path);

    // The font file the glyph database is measured with (empty: IPAGothic as
    // fontconfig lists it).
    QString GlyphFontFile;

    QString ProgramDirectory() const { return programDir_; }
    QString DatabasePath() const;

    // True once the window has been closed; a run in progress stops at its next step.
    bool Closed() const { return closed_; }
    // True while CreateDatabase, LoadDatabase or ConvertImage runs.
    bool Busy() const { return busy_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildCommandRow();
    void BuildSettingRows();
    void BuildStatusLine();
    void ConnectHandlers();

    // Lets pending window events run; false when the window has been closed
    // meanwhile, and the run must stop.
    bool DoEvents();
    void Warn(const QString& text);

    // The database pipeline with the wait cursor, progress and Picture1.
    Outcome MeasureAndSave();

    // The two dialogs of a conversion: the output path once a picture is in
    // Picture2, or nothing when the run ends silently.
    // ahead: the conversion started as the picture loaded, if it loaded.
    std::optional<QString> AskForPictureAndOutput(const std::optional<QString>& picture,
                                                  std::unique_ptr<ConversionAhead>& ahead);
    // Whether output would fall on the picture or the database; the user is told.
    bool WarnOfOverwrittenInput(const QString& output);
    // Creates the output empty and starts the viewer on it; false ends the run.
    bool StartTextPicture(const QString& output);
    ConversionSettings CurrentSettings() const;
    ConversionEnd ConvertRows(const QString& output, int32_t cellSize, ConversionAhead* ahead, Outcome& written);

    MakerServices services_;
    QString programDir_;
    Rnd rnd_; // never reseeded: conversions of one run go on along its sequence
    bool closed_ = false;
    bool busy_ = false;
    std::optional<QString> pendingPicture_; // opened before there was a database
};
