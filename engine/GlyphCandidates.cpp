// SPDX-License-Identifier: MIT
#include "engine/GlyphCandidates.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace {

constexpr int kSlotBits = 16;
constexpr size_t kSlots = size_t(1) << kSlotBits;
// Half the slots at most are taken, so that a probe ends soon.
constexpr size_t kMostCubes = kSlots / 2;
// A list: its header and floats, then its blocks on a block's alignment.
constexpr size_t kListHead = 64;
static_assert(sizeof(CandidateList) + CandidateCache::kMaxGroups * sizeof(float) <= kListHead &&
              kListHead % alignof(GlyphBlock) == 0);
static_assert(CandidateList::kLaidOut <= CandidateCache::kMaxGroups);
constexpr size_t kLongestList = kListHead + CandidateCache::kMaxGroups * sizeof(GlyphBlock);
// Room for the lists of some 13,000 cubes at their longest, not of every
// slot: the area is address space a limit (ulimit -v) counts. Once it is
// full, cubes without a list keep to the blocks.
constexpr size_t kListBytes = size_t(24) << 20;
constexpr size_t kSlotBytes = 24;
constexpr size_t kMemoryBytes = kSlots * kSlotBytes + kListBytes;

// A cell's quarter lies within a float step of its cube's edges (the cube is
// found in float): the cube is taken this much wider on every side.
constexpr float kPad = 0x1p-12f;
// Distances are worked in float; these margins keep its rounding on the
// safe side of every bound (the scores' own rounding included).
constexpr float kBelow = 1 - 0x1p-16f;
constexpr float kAbove = 1 + 0x1p-16f;
constexpr float kFarthestServed = 1e6f;
// Padding lanes: so far off that their squares overflow, and never win.
constexpr float kFarOff = 1e30f;

size_t Home(uint64_t key)
{
    return size_t((key * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits));
}

bool Served(const GlyphTable::Bucket& b)
{
    if (b.Code.empty() || b.Code.size() >= std::numeric_limits<uint16_t>::max())
        return false;
    for (const auto* values : {&b.TL, &b.TR, &b.BL, &b.BR})
        for (const float v : *values)
            if (!(std::fabs(v) <= kFarthestServed))
                return false;
    return true;
}

// Four floats to an operation, on any processor the compiler knows.
using Four = float __attribute__((vector_size(16)));

// Rounds n up to whole fours; the columns' padding lies beyond every glyph
// that is served, so that it is neither the nearest nor within any limit.
constexpr size_t kFour = 4;
constexpr float kPaddingValue = 1e7f;
size_t Fours(size_t n)
{
    return (n + kFour - 1) / kFour * kFour;
}

Four Load(const float* at)
{
    Four v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// The least squared distance of each glyph from the cube lo..hi into least;
// answers the lowest over the glyphs of the most squared distance.
float Reach(const std::vector<float>* columns, size_t n, const float* lo, const float* hi, float* least)
{
    const Four zero = {0, 0, 0, 0};
    Four nearestMost = zero + std::numeric_limits<float>::infinity();
    for (size_t g = 0; g < n; g += kFour) {
        Four sumLeast = zero, sumMost = zero;
        for (size_t q = 0; q < 4; ++q) {
            const Four v = Load(columns[q].data() + g);
            const Four below = lo[q] - v, above = v - hi[q];
            Four gap = below > above ? below : above;
            gap = gap > zero ? gap : zero;
            const Four far = -below > -above ? -below : -above; // the farther end: v - lo or hi - v
            sumLeast += gap * gap;
            sumMost += far * far;
        }
        std::memcpy(least + g, &sumLeast, sizeof sumLeast);
        nearestMost = sumMost < nearestMost ? sumMost : nearestMost;
    }
    return std::min(std::min(nearestMost[0], nearestMost[1]), std::min(nearestMost[2], nearestMost[3]));
}

// The glyphs of the first n whose least distance is within limit, in order,
// into near; answers how many. Most of a bucket lies beyond: no branch on it.
size_t Within(const float* least, size_t n, float limit, uint16_t* near)
{
    size_t count = 0;
    for (size_t g = 0; g < n; ++g) {
        near[count] = uint16_t(g);
        count += least[g] <= limit ? 1 : 0;
    }
    return count;
}

// A glyph's ring, rings of width limit / rings from 0.
uint8_t Ring(float least, float perRing, int32_t rings)
{
    return uint8_t(int32_t(std::min(least * perRing, float(rings) - 0.5f)));
}

} // namespace

CandidateCache::CandidateCache(const GlyphTable& table, const RndJumpTable& jumps, uint32_t hitsBeforeList)
    : table_(table),
      jumps_(jumps),
      hitsBeforeList_(hitsBeforeList),
      served_(kBucketCount),
      columns_(kBucketCount),
      memory_(kMemoryBytes)
{
    for (int level = 0; level < kBucketCount; ++level) {
        const GlyphTable::Bucket& b = table[level];
        served_[size_t(level)] = Served(b) && memory_.Data();
        for (size_t q = 0; q < 4; ++q) {
            std::vector<float>& column = columns_[size_t(level)][q];
            column = q == 0 ? b.TL : q == 1 ? b.TR : q == 2 ? b.BL : b.BR;
            column.resize(Fours(column.size()), kPaddingValue);
        }
    }
    if (!memory_.Data())
        return;
    static_assert(sizeof(Slot) <= kSlotBytes && alignof(Slot) <= alignof(GlyphBlock));
    slots_ = static_cast<Slot*>(memory_.Data());
    for (size_t i = 0; i < kSlots; ++i)
        new (&slots_[i]) Slot;
    static_assert(kLongestList % alignof(GlyphBlock) == 0 && kSlots * kSlotBytes % alignof(GlyphBlock) == 0);
    listsAt_ = static_cast<std::byte*>(memory_.Data()) + kSlots * kSlotBytes;
}

CandidateCache::~CandidateCache() = default;

const CandidateList* CandidateCache::Find(int32_t level, const CellQuarters& cell, int32_t variation, Memo& memo) const
{
    if (variation < 0 || variation > kMaxVariation || level < 0 || level >= kBucketCount || !served_[size_t(level)])
        return nullptr;
    int32_t cube[4];
    uint64_t key = uint64_t(level) << 5 | uint64_t(variation);
    const float q[4] = {cell.TL, cell.TR, cell.BL, cell.BR};
    for (size_t i = 0; i < 4; ++i) {
        const float at = (q[i] - kOrigin) * (1 / kCubeWidth);
        if (!(at >= 0 && at < kCubes))
            return nullptr;
        cube[i] = int32_t(at);
        key = key << 8 | uint64_t(cube[i]);
    }
    ++key; // never 0, the empty slot's
    if (key == memo.key && memo.cache == this)
        return memo.list;
    size_t slot = Home(key);
    for (uint64_t k; (k = slots_[slot].key.load(std::memory_order_acquire)) != 0; slot = (slot + 1) % kSlots)
        if (k == key) {
            const CandidateList* list = Listed(slots_[slot], level, cube, variation);
            if (list)
                memo = {this, key, list};
            return list;
        }
    // A thread never waits for another: waiting costs far more than the
    // blocks' search, which serves the cell meanwhile.
    const std::unique_lock lock(making_, std::try_to_lock);
    if (!lock.owns_lock())
        return nullptr;
    // Another thread may have added it meanwhile; only this one adds now.
    for (uint64_t k; (k = slots_[slot].key.load(std::memory_order_relaxed)) != 0; slot = (slot + 1) % kSlots)
        if (k == key)
            return nullptr;
    if (cubes_ < kMostCubes) {
        slots_[slot].hits.store(1, std::memory_order_relaxed);
        slots_[slot].key.store(key, std::memory_order_release);
        ++cubes_;
    }
    return nullptr;
}

const CandidateList* CandidateCache::Listed(Slot& slot, int32_t level, const int32_t* cube, int32_t variation) const
{
    if (const CandidateList* list = slot.list.load(std::memory_order_acquire))
        return list;
    if (slot.hits.fetch_add(1, std::memory_order_relaxed) + 1 < hitsBeforeList_ ||
        full_.load(std::memory_order_relaxed))
        return nullptr;
    const std::unique_lock lock(making_, std::try_to_lock);
    if (!lock.owns_lock() || slot.list.load(std::memory_order_relaxed))
        return nullptr;
    const CandidateList* list = Make(level, cube, variation);
    slot.list.store(list, std::memory_order_release); // seen complete with the pointer
    return list;
}

// NOLINTNEXTLINE(readability-function-size): one pass over the bucket, then the list laid out
const CandidateList* CandidateCache::Make(int32_t level, const int32_t* cube, int32_t variation) const
{
    if (listBytes_ + kLongestList > kListBytes) {
        full_.store(true, std::memory_order_relaxed);
        return nullptr;
    }
    const GlyphTable::Bucket& b = table_[level];
    const size_t n = b.Code.size();
    float lo[4], hi[4];
    for (size_t q = 0; q < 4; ++q) {
        lo[q] = float(cube[q]) * kCubeWidth + kOrigin - kPad;
        hi[q] = float(cube[q] + 1) * kCubeWidth + kOrigin + kPad;
    }
    thread_local std::vector<float> least;
    least.resize(Fours(n));
    const std::vector<float>* columns = columns_[size_t(level)].data();
    const float limit = (Reach(columns, Fours(n), lo, hi, least.data()) * kAbove + float(variation)) * kAbove;

    // The glyphs within the limit, nearest first by rings of the limit's
    // width / kRings, in bucket order within a ring: within a ring the order
    // does not matter, as each eight carries the least distance of itself and
    // all after it.
    constexpr int32_t kRings = 32;
    thread_local std::vector<uint16_t> within, near;
    within.resize(n);
    within.resize(Within(least.data(), n, limit, within.data()));
    const float perRing = float(kRings) / std::max(limit, 1e-30f);
    std::array<uint32_t, kRings + 1> starts{};
    for (const uint16_t g : within)
        ++starts[Ring(least[g], perRing, kRings) + 1];
    for (size_t r = 0; r < kRings; ++r)
        starts[r + 1] += starts[r];
    near.resize(within.size());
    for (const uint16_t g : within)
        near[starts[Ring(least[g], perRing, kRings)]++] = g;
    thread_local std::vector<float> floor;
    floor.resize(near.size() + 1);
    floor[near.size()] = std::numeric_limits<float>::infinity();
    for (size_t i = near.size(); i-- > 0;)
        floor[i] = std::min(floor[i + 1], least[near[i]] * kBelow);
    const size_t kept = std::min(near.size(), kMaxGroups * CandidateList::kGroup);

    const size_t groups = (kept + CandidateList::kGroup - 1) / CandidateList::kGroup;
    const size_t laidOut = std::max(groups, CandidateList::kLaidOut);
    auto* head = static_cast<std::byte*>(Allocate(kListHead + laidOut * sizeof(GlyphBlock)));
    if (!head)
        return nullptr;
    auto* list = new (head) CandidateList;
    auto* nearest = reinterpret_cast<float*>(list + 1);
    auto* blocks = reinterpret_cast<GlyphBlock*>(head + kListHead);
    for (size_t g = 0; g < groups; ++g) {
        nearest[g] = floor[g * CandidateList::kGroup];
        // In bucket order within an eight, as in the search's own blocks.
        const auto first = near.begin() + std::ptrdiff_t(g * CandidateList::kGroup);
        std::sort(first, first + std::ptrdiff_t(std::min(CandidateList::kGroup, kept - g * CandidateList::kGroup)));
        Fill(blocks[g], b, near.data() + g * CandidateList::kGroup,
             std::min(CandidateList::kGroup, kept - g * CandidateList::kGroup));
    }
    for (size_t g = groups; g < laidOut; ++g)
        Fill(blocks[g], b, nullptr, 0);
    list->groups = uint32_t(groups);
    list->nearest = nearest;
    list->blocks = blocks;
    list->rest = floor[kept];
    return list;
}

// A block of the places count places of bucket b, padded.
void CandidateCache::Fill(GlyphBlock& block, const GlyphTable::Bucket& b, const uint16_t* places, size_t count) const
{
    new (&block) GlyphBlock;
    for (size_t k = 0; k < GlyphBlock::kLanes; ++k) {
        const bool glyph = k < count;
        const size_t i = glyph ? places[k] : 0;
        const float values[4] = {b.TL[i], b.TR[i], b.BL[i], b.BR[i]};
        for (size_t q = 0; q < 4; ++q)
            block.Value[q][k] = glyph ? values[q] : kFarOff;
        block.JumpA[k] = glyph ? jumps_.A()[i + 1] : 0;
        block.JumpC[k] = glyph ? jumps_.C()[i + 1] : 0;
        block.Index[k] = glyph ? int32_t(i) : -1;
    }
}

void* CandidateCache::Allocate(size_t bytes) const
{
    bytes = (bytes + alignof(GlyphBlock) - 1) / alignof(GlyphBlock) * alignof(GlyphBlock);
    if (listBytes_ + bytes > kListBytes)
        return nullptr;
    void* at = listsAt_ + listBytes_;
    listBytes_ += bytes;
    return at;
}
