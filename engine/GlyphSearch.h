// SPDX-License-Identifier: MIT
// Finding a cell's glyph without scoring every glyph of its bucket, with the
// very result ChooseGlyph gives.
//
// When every glyph of the bucket is close to the cell (EveryGlyphClose), glyph
// i draws the (i + 1)th number after the cell's start state, so each score
// can be worked out on its own, in any order, and the winner is the lowest
// score, the lowest index among equal ones. A score is never below the sum
// of the squared differences (the random term adds r x variation >= 0), and
// that sum is never below the squared distance from the cell to a box around
// the glyph. Each bucket is cut into blocks of eight glyphs lying close
// together, each with its box; a block whose box lies farther than the best
// score found so far cannot hold the winner and is passed over.
#pragma once

#include "engine/GlyphCandidates.h"
#include "engine/GlyphChooser.h"
#include "engine/RndJump.h"

#include <array>
#include <cstdint>
#include <vector>

// Room a search works in, one for each thread, made by GlyphSearch::Scratch.
struct SearchScratch {
    std::vector<float> bounds;    // per box: its squared distance from the cell
    std::vector<float> rough;     // per lane of the blocks looked at: a rough score
    std::vector<uint32_t> blocks; // the blocks looked at
    CandidateCache::Memo memo;
    // Per cell of a batch: its list, its winner, and the rough scores of
    // the blocks its list search looked at.
    std::vector<const CandidateList*> lists;
    std::vector<int32_t> found;
    std::vector<float> batchRough;
};

class GlyphSearch {
public:
    static constexpr size_t kLanes = GlyphBlock::kLanes; // glyphs per block

    using Block = GlyphBlock;
    // The boxes of eight blocks, a lane each; padding boxes lie far off.
    struct alignas(32) Boxes {
        float Lo[4][kLanes];
        float Hi[4][kLanes];
    };
    struct Level {
        std::vector<Block> blocks;
        std::vector<Boxes> boxes; // blocks.size() / kLanes, rounded up
    };

    // The bucket index of the winner, or -1 when no score is below the start
    // score.
    using Kernel = int32_t (*)(const Level& level, const CellQuarters& cell, int32_t variation, uint32_t start,
                               SearchScratch& scratch);

    // The same for count cells (at most kBatch) among the glyphs of their
    // candidate lists, into found: kNotListed for a cell without a list (nullptr) or whose
    // list ends before the search may stop.
    using ListKernel = void (*)(const CandidateList* const* lists, const CellQuarters* cells, const uint32_t* starts,
                                size_t count, int32_t variation, int32_t* found, SearchScratch& scratch);
    static constexpr int32_t kNotListed = -2;
    // Cells a list kernel takes at once.
    static constexpr size_t kBatch = 128;

    // vector: use the AVX2 kernel where the processor has it and it is built
    // in; listAfter: see CandidateCache.
    GlyphSearch(const GlyphTable& table, bool vector, uint32_t listAfter = CandidateCache::kHitsBeforeList);

    const GlyphTable& Table() const { return table_; }
    const RndJumpTable& Jumps() const { return jumps_; }
    // Room for searching any bucket.
    SearchScratch Scratch() const;

    // For a cell every glyph of whose bucket is close: the code ChooseGlyph
    // gives with the generator at start.
    int32_t Choose(const CellQuarters& cell, int32_t level, int32_t variation, uint32_t start,
                   SearchScratch& scratch) const;
    // The same for count cells, into codes: sooner than one at a time, as the
    // cells' lists are scored all together before any is decided.
    void ChooseMany(const CellQuarters* cells, const int32_t* levels, const uint32_t* starts, size_t count,
                    int32_t variation, int32_t* codes, SearchScratch& scratch) const;

private:
    const GlyphTable& table_;
    RndJumpTable jumps_; // before candidates_, which uses it
    std::array<Level, kBucketCount> levels_;
    size_t boxes_ = 0; // of the bucket with the most
    Kernel kernel_;
    ListKernel listKernel_;
    CandidateCache candidates_;
};

// Blocks whose box lies farther than this from the cell are passed over: a
// margin above best keeps float rounding of the bound out of the question
// (the bound is worked in float, the scores in double). With a negative
// variation the random term can lower a score, and nothing is passed over.
inline float PruneAbove(float best, int32_t variation)
{
    return variation < 0 ? __builtin_inff() : best * (1 + 0x1p-16f) + 1e-30f;
}

// The kernels: the same search in plain C++ and with AVX2 (x86-64 only).
int32_t FindGlyphPortable(const GlyphSearch::Level& level, const CellQuarters& cell, int32_t variation, uint32_t start,
                          SearchScratch& scratch);
void FindListedPortable(const CandidateList* const* lists, const CellQuarters* cells, const uint32_t* starts,
                        size_t count, int32_t variation, int32_t* found, SearchScratch& scratch);
#if PICTORIA_AVX2
int32_t FindGlyphAvx2(const GlyphSearch::Level& level, const CellQuarters& cell, int32_t variation, uint32_t start,
                      SearchScratch& scratch);
void FindListedAvx2(const CandidateList* const* lists, const CellQuarters* cells, const uint32_t* starts, size_t count,
                    int32_t variation, int32_t* found, SearchScratch& scratch);
#endif
