// SPDX-License-Identifier: MIT
// Text pictures for terminals. Many characters of the glyph database (Greek
// and Cyrillic letters, ☆ ※ ○, box drawing, arrows, circled numbers) are of
// East Asian Width "Ambiguous" in Unicode and terminals draw them one column
// wide, so the lines of a picture would end in different columns.
#pragma once

#include "engine/GlyphBuckets.h"

// The buckets with only the glyphs whose character is wide in every
// terminal (East Asian Width W or F, as the C library's wcwidth tells in a
// UTF-8 locale), each bucket in its own order.
GlyphBucketArray TerminalGlyphsOnly(const GlyphBucketArray& buckets);
