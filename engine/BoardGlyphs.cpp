// SPDX-License-Identifier: MIT
#include "engine/BoardGlyphs.h"

#include "common/CodePage932.h"
#include "engine/GlyphFont.h"

Outcome BoardGlyphsOnly(const GlyphBucketArray& buckets, const QString& fontFile, GlyphBucketArray& board)
{
    const QString file = fontFile.isEmpty() ? FindFontFile(kBoardFontFamily) : fontFile;
    const GlyphFont font(file);
    if (!font.IsOpen())
        return font.Status();
    for (size_t b = 0; b < buckets.size(); ++b)
        for (const auto& glyph : buckets[b]) {
            const QString text = CharFromCode(glyph->AsciiNo);
            if (text.size() == 1 && font.IsOneEmWide(text.at(0).unicode()))
                board[b].push_back(glyph);
        }
    return Outcome::Done();
}
