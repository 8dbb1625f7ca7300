// SPDX-License-Identifier: MIT
// The sixteen collections of glyph records, 0 (darkest) to 15 (lightest).
#pragma once

#include "engine/clsChr.h"

#include <array>
#include <memory>
#include <vector>

// Records are shared: the bucket that holds one keeps it alive. Appending adds
// at the end and iteration runs in the order of adding.
using GlyphCollection = std::vector<std::shared_ptr<clsChr>>;

constexpr int kBucketCount = 16;
using GlyphBucketArray = std::array<GlyphCollection, kBucketCount>;

// The bucket of a stored record: the mean of its four levels, rounded down.
int BucketKey(const clsChr& glyph);

// Number of records in all buckets.
size_t GlyphCount(const GlyphBucketArray& buckets);

// Empties every bucket (the collections themselves stay).
void ClearBuckets(GlyphBucketArray& buckets);
