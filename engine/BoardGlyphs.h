// SPDX-License-Identifier: MIT
// Text pictures for boards and pages that show text in a proportional
// Japanese font (IPAPGothic, MS P Gothic): there some characters of the
// glyph database are narrower or wider than one em, and the rows drift.
#pragma once

#include "common/Outcome.h"
#include "engine/GlyphBuckets.h"

// Into board, the glyphs of buckets whose character is exactly one em wide in
// the proportional font file (empty: IPAPGothic as fontconfig lists it), each
// bucket in its own order. The font's failure when it cannot be opened.
Outcome BoardGlyphsOnly(const GlyphBucketArray& buckets, const QString& fontFile, GlyphBucketArray& board);
