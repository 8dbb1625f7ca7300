// SPDX-License-Identifier: MIT
// The font the glyph database is measured with: IPAGothic drawn by FreeType
// at 16 pixels, one bit per pixel, with fixed load flags. Drawing does not go
// through fontconfig's hinting and antialiasing settings, so the same font
// file gives the same database on every machine.
#pragma once

#include "common/Outcome.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <memory>

inline const QString kGlyphFontFamily = QStringLiteral("IPAGothic");
inline const QString kGlyphFontPackage = QStringLiteral("fonts-ipafont-gothic");
constexpr int kGlyphPixelSize = 16;
constexpr int kGlyphBaseline = 14; // pixels below the top of a drawn line

// The proportional sibling boards and web pages show Japanese text in.
inline const QString kBoardFontFamily = QStringLiteral("IPAPGothic");

// The file of the family as fontconfig lists it (no substitution of another
// family), or the empty string.
QString FindFontFile(const QString& family);
// The file of IPAGothic, the family the glyphs are measured in.
QString FindGlyphFontFile();

class GlyphFont {
public:
    // Opens the font file; on failure IsOpen() is false and Status() says why.
    explicit GlyphFont(const QString& file);
    ~GlyphFont();
    GlyphFont(const GlyphFont&) = delete;
    GlyphFont& operator=(const GlyphFont&) = delete;

    bool IsOpen() const;
    const Outcome& Status() const { return status_; }

    bool HasGlyphs(const QString& text) const;
    // Sum of the advances of the text's characters, in whole pixels.
    int Advance(const QString& text) const;
    // Draws the text in black onto image (32-bit RGB) with its top-left corner at (x, y).
    void Draw(QImage& image, int x, int y, const QString& text) const;
    // The pixels Draw may ink for the text drawn at (0, 0); empty when it inks none.
    QRect InkRect(const QString& text) const;
    // Whether the font has the character and its advance is exactly one em, in
    // the font's own units (no hinting or rounding decides it).
    bool IsOneEmWide(char32_t c) const;

private:
    struct Face;
    std::unique_ptr<Face> face_;
    Outcome status_ = Outcome::Done();
};
