// SPDX-License-Identifier: MIT
// The glyphs that may win anywhere in a small cube of quarter values, worked
// out once per cube and shared by every cell that falls into it.
//
// Quarter space is cut into cubes kCubeWidth wide. In a cube, some glyph lies
// no farther than U (squared) from every point, so every cell of the cube has
// a score of at most U + variation; a glyph whose squared distance from the
// cube exceeds that never wins there. The others are listed nearest first,
// eight at a time, with the least squared distance of each eight: a search
// stops at the first eight that lies beyond its best score so far. Lists are
// kept to the kMaxGroups nearest eights; a search that would need more falls
// back on the blocks.
#pragma once

#include "engine/GlyphChooser.h"
#include "engine/LargeMemory.h"
#include "engine/RndJump.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

struct CellQuarters {
    float TL, TR, BL, BR;
};

// Eight glyphs together in memory, a lane each, in bucket order. Lanes
// beyond the glyphs are padding: index -1, values so far off that their
// score overflows to infinity.
struct alignas(32) GlyphBlock {
    static constexpr size_t kLanes = 8; // one vector of floats
    float Value[4][kLanes];             // TL, TR, BL, BR
    uint32_t JumpA[kLanes];             // the glyph's number is state JumpA x start + JumpC
    uint32_t JumpC[kLanes];
    int32_t Index[kLanes]; // the glyph's place in its bucket
};

struct CandidateList {
    static constexpr size_t kGroup = GlyphBlock::kLanes;
    // Blocks laid out however few groups there are, those beyond the groups
    // padding: a search scores this many without a branch for each.
    static constexpr size_t kLaidOut = 3;
    uint32_t groups = 0;
    // Per eight: a float at or below the squared distance from the cube of
    // each of its glyphs and of every glyph listed after it.
    const float* nearest = nullptr;
    // At or below the squared distance of every glyph left off the list;
    // infinity when none was.
    float rest = 0;
    const GlyphBlock* blocks = nullptr; // groups of them
};

class CandidateCache {
public:
    static constexpr float kCubeWidth = 0.25f;
    // Cubes cover kCubes widths on each quarter from kOrigin.
    static constexpr int32_t kCubes = 256;
    static constexpr float kOrigin = -kCubes / 2 * kCubeWidth;
    static constexpr size_t kMaxGroups = 8;
    // Larger variations need most of a bucket; the blocks serve them better.
    static constexpr int32_t kMaxVariation = 20;

    // A cube's list is made once this many cells have come to it: a list
    // costs as much to make as the blocks' search of some dozens of cells.
    static constexpr uint32_t kHitsBeforeList = 32;

    // jumps: for the glyphs' numbers, as long as the longest bucket.
    CandidateCache(const GlyphTable& table, const RndJumpTable& jumps, uint32_t hitsBeforeList = kHitsBeforeList);
    ~CandidateCache();
    CandidateCache(const CandidateCache&) = delete;
    CandidateCache& operator=(const CandidateCache&) = delete;

    // The list of the cell's cube for this variation; nullptr while fewer
    // than hitsBeforeList cells have come to the cube, while another thread
    // is making a list, or when the cell is not served (a variation outside 0
    // to kMaxVariation, a quarter outside the cubes, a bucket with values far
    // off or not finite, every slot or all room for lists taken). Safe from
    // many threads. memo: the last list a thread found, for the next cell,
    // often in the same cube.
    struct Memo {
        const CandidateCache* cache = nullptr; // whose list it is
        uint64_t key = 0;
        const CandidateList* list = nullptr;
    };
    const CandidateList* Find(int32_t level, const CellQuarters& cell, int32_t variation, Memo& memo) const;

private:
    struct Slot {
        std::atomic<uint64_t> key{0}; // 0: empty
        std::atomic<const CandidateList*> list{nullptr};
        std::atomic<uint32_t> hits{0}; // cells come to the cube so far
    };
    const CandidateList* Listed(Slot& slot, int32_t level, const int32_t* cube, int32_t variation) const;
    const CandidateList* Make(int32_t level, const int32_t* cube, int32_t variation) const;
    void Fill(GlyphBlock& block, const GlyphTable::Bucket& b, const uint16_t* places, size_t count) const;
    void* Allocate(size_t bytes) const;

    const GlyphTable& table_;
    const RndJumpTable& jumps_;
    uint32_t hitsBeforeList_;
    std::vector<bool> served_;                               // per bucket
    std::vector<std::array<std::vector<float>, 4>> columns_; // per bucket: its values, rounded up to fours
    LargeMemory memory_;                                     // the slots, then the lists
    Slot* slots_ = nullptr;
    std::byte* listsAt_ = nullptr;
    mutable std::mutex making_;
    mutable size_t cubes_ = 0;              // slots taken
    mutable size_t listBytes_ = 0;          // taken after listsAt_
    mutable std::atomic<bool> full_{false}; // no room for another list
};
