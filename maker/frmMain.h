// The main window of Pictoria: the settings, the glyph buckets and the one
// command button that creates the glyph database or converts an image.
#pragma once

#include "CommonDialog.h"
#include "GlyphBuckets.h"
#include "PictureBox.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

class frmMain : public QWidget {
    Q_OBJECT
public:
    // programDir is where "Standard.cdb" and the viewer live; empty means the
    // directory of the running program.
    explicit frmMain(const QString& programDir = QString(), QWidget* parent = nullptr);
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
    QSlider* Slider1;
    QLabel* Label4;
    QSlider* Slider2;
    QLabel* Label5;
    QSlider* Slider3;
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
    virtual void LoadDatabase();
    void ConvertImage();

    // Least time between two progress texts of a conversion or two characters
    // shown in Picture1, in milliseconds, and between two passes of the event
    // loop of a conversion, in microseconds. With both 0 every cell shows its
    // text and lets events run, and every measured character is shown.
    static inline int ScreenRefreshMs = 16;
    static inline int EventIntervalUs = 1000;

    // The font file the glyph database is measured with.
    QString GlyphFontFile;

    QString ProgramDirectory() const { return programDir_; }
    QString DatabasePath() const;

    // True once the window has been closed; a run in progress stops at its next step.
    bool Closed() const { return closed_; }
    // True while CreateDatabase, LoadDatabase or ConvertImage runs.
    bool Busy() const { return busy_; }

protected:
    void closeEvent(QCloseEvent* event) override;

    // Lets pending window events run; false when the window has been closed
    // meanwhile, and the run must stop.
    bool DoEvents();

private:
    QString programDir_;
    bool closed_ = false;
    bool busy_ = false;
};
