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

#include "engine/GlyphChooser.h"
#include "engine/RndJump.h"

#include <array>
#include <cstdint>
#include <vector>

struct CellQuarters {
    float TL, TR, BL, BR;
};

class GlyphSearch {
public:
    static constexpr size_t kLanes = 8; // glyphs per block: one vector of floats

    // A bucket's glyphs in blocks. Slots beyond a bucket's glyphs are padding
    // (index -1, values so far off that their score overflows to infinity);
    // the boxes are padded to whole vectors of blocks with empty boxes far
    // off.
    struct Level {
        size_t blocks = 0;                    // blocks holding glyphs
        std::array<std::vector<float>, 4> Lo; // per block and quarter: the box
        std::array<std::vector<float>, 4> Hi;
        std::array<std::vector<float>, 4> Value; // per slot: TL, TR, BL, BR
        std::vector<int32_t> Index;              // per slot: the glyph's place in its bucket
        std::vector<uint32_t> JumpA, JumpC;      // per slot: its number is state JumpA x start + JumpC
    };

    // The bucket index of the winner, or -1 when no score is below the start
    // score. bounds holds at least a vector's worth of floats per block.
    using Kernel = int32_t (*)(const Level& level, const CellQuarters& cell, int32_t variation, uint32_t start,
                               float* bounds);

    // vector: use the AVX2 kernel where the processor has it and it is built in.
    GlyphSearch(const GlyphTable& table, bool vector);

    const GlyphTable& Table() const { return table_; }
    const RndJumpTable& Jumps() const { return jumps_; }
    // Floats of scratch a search needs.
    size_t BoundsSize() const { return boundsSize_; }

    // For a cell every glyph of whose bucket is close: the code ChooseGlyph
    // gives with the generator at start.
    int32_t Choose(const CellQuarters& cell, int32_t level, int32_t variation, uint32_t start, float* bounds) const;

private:
    const GlyphTable& table_;
    RndJumpTable jumps_;
    std::array<Level, kBucketCount> levels_;
    size_t boundsSize_ = 0;
    Kernel kernel_;
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
                          float* bounds);
#if PICTORIA_AVX2
int32_t FindGlyphAvx2(const GlyphSearch::Level& level, const CellQuarters& cell, int32_t variation, uint32_t start,
                      float* bounds);
#endif
