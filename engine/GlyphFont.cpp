// SPDX-License-Identifier: MIT
#include "engine/GlyphFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_ADVANCES_H

QString FindGlyphFontFile()
{
    return FindFontFile(kGlyphFontFamily);
}

QString FindFontFile(const QString& familyName)
{
    QString file;
    FcPattern* pattern = FcPatternCreate();
    const QByteArray family = familyName.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
    // Listing, unlike matching, never offers another family in its place.
    if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
        for (int i = 0; i < set->nfont && file.isEmpty(); ++i) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &path) == FcResultMatch)
                file = QString::fromUtf8(reinterpret_cast<const char*>(path));
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return file;
}

struct GlyphFont::Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Face()
    {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }
};

namespace {

// Load flags fixed once: hinted outlines rendered to one bit per pixel.
constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_MONO;

template <typename Fn>
void ForEachCodePoint(const QString& text, Fn fn)
{
    for (char32_t ucs : text.toUcs4())
        fn(ucs);
}

} // namespace

GlyphFont::GlyphFont(const QString& file) : face_(std::make_unique<Face>())
{
    if (FT_Init_FreeType(&face_->library) != 0) {
        status_ = Outcome::Failed(FailureKind::NoFont, file, QStringLiteral("FreeType could not be started"));
        return;
    }
    // FREETYPE_PROPERTIES in the environment may pick another bytecode
    // interpreter; set it back so every machine hints the same way.
    FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
    FT_Property_Set(face_->library, "truetype", "interpreter-version", &interpreter);
    const QByteArray path = file.toLocal8Bit();
    if (file.isEmpty() || FT_New_Face(face_->library, path.constData(), 0, &face_->face) != 0) {
        face_->face = nullptr;
        status_ =
            Outcome::Failed(FailureKind::NoFont, file,
                            file.isEmpty() ? QStringLiteral("no font file") : QStringLiteral("not a readable font"));
        return;
    }
    FT_Set_Pixel_Sizes(face_->face, 0, kGlyphPixelSize);
}

GlyphFont::~GlyphFont() = default;

bool GlyphFont::IsOpen() const
{
    return face_->face != nullptr;
}

bool GlyphFont::HasGlyphs(const QString& text) const
{
    if (!IsOpen() || text.isEmpty())
        return false;
    bool all = true;
    ForEachCodePoint(text, [&](char32_t c) { all = all && FT_Get_Char_Index(face_->face, c) != 0; });
    return all;
}

int GlyphFont::Advance(const QString& text) const
{
    if (!IsOpen())
        return 0;
    long width = 0;
    ForEachCodePoint(text, [&](char32_t c) {
        if (FT_Load_Char(face_->face, c, kLoadFlags) == 0)
            width += face_->face->glyph->advance.x;
    });
    return int((width + 32) >> 6);
}

void GlyphFont::Draw(QImage& image, int x, int y, const QString& text) const
{
    if (!IsOpen())
        return;
    long pen = long(x) << 6;
    ForEachCodePoint(text, [&](char32_t c) {
        if (FT_Load_Char(face_->face, c, kLoadFlags | FT_LOAD_RENDER) != 0)
            return;
        const FT_GlyphSlot slot = face_->face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        const int left = int(pen >> 6) + slot->bitmap_left;
        const int top = y + kGlyphBaseline - slot->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row) {
            const int py = top + int(row);
            if (py < 0 || py >= image.height())
                continue;
            const unsigned char* bits = bm.buffer + ptrdiff_t(row) * bm.pitch; // pitch < 0: rows upwards
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
            for (unsigned col = 0; col < bm.width; ++col) {
                const int px = left + int(col);
                const bool ink =
                    bm.pixel_mode == FT_PIXEL_MODE_MONO ? (bits[col >> 3] & (0x80 >> (col & 7))) != 0 : bits[col] != 0;
                if (ink && px >= 0 && px < image.width())
                    line[px] = qRgb(0, 0, 0);
            }
        }
        pen += slot->advance.x;
    });
}

QRect GlyphFont::InkRect(const QString& text) const
{
    QRect ink;
    if (!IsOpen())
        return ink;
    long pen = 0;
    ForEachCodePoint(text, [&](char32_t c) {
        if (FT_Load_Char(face_->face, c, kLoadFlags | FT_LOAD_RENDER) != 0)
            return;
        const FT_GlyphSlot slot = face_->face->glyph;
        if (slot->bitmap.width > 0 && slot->bitmap.rows > 0)
            ink |= QRect(int(pen >> 6) + slot->bitmap_left, kGlyphBaseline - slot->bitmap_top, int(slot->bitmap.width),
                         int(slot->bitmap.rows));
        pen += slot->advance.x;
    });
    return ink;
}

bool GlyphFont::IsOneEmWide(char32_t c) const
{
    if (!IsOpen())
        return false;
    const FT_UInt index = FT_Get_Char_Index(face_->face, c);
    FT_Fixed advance = 0;
    return index != 0 && FT_Get_Advance(face_->face, index, FT_LOAD_NO_SCALE, &advance) == 0 &&
           advance == FT_Fixed(face_->face->units_per_EM);
}
