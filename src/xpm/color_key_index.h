// Pixel code to palette index, with exactly the answer of FindColorKey's linear scan (the
// first entry equal in the first 8 characters) but in constant time per pixel: a direct
// table for codes of 1 character, one in pages for codes of 2, and for other lengths an
// open-addressing hash under a per-index random seed, so that no choice of codes can make
// lookups slow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "xpm/color_definitions.h"

namespace xpmfilter {

// Finds the first of `count` entries whose code equals `code` in at most the first 8
// characters (letter case counts) and stores its position's low 8 bits at out. Returns 0, or
// -1 when no entry matches (out untouched).
[[nodiscard]] int32_t FindColorKey(const char* code, const ColorKeyEntry* table, int32_t count,
                                   uint8_t* out);

// Extra readable bytes that DecodeRow needs after the last code it is given.
inline constexpr size_t kCodeReadSlack = 8;

// FindColorKey over one table, indexed at the first lookup (after the colour definitions
// were read, from the table as they left it).
class ColorKeyIndex {
  public:
    // table has count entries and must outlive the index. charsPerPixel (0 to 39) is the
    // length of the codes DecodeRow takes.
    ColorKeyIndex(const ColorKeyEntry* table, int32_t count, int32_t charsPerPixel = 0)
        : table_(table), count_(count), charsPerPixel_(charsPerPixel) {}

    // Maps `width` codes of charsPerPixel raw bytes each, back to back at codes, to indices
    // in row[0..width). A zero byte ends a code early, as it ends a string. kCodeReadSlack
    // bytes after the last code must be readable (their values do not matter). False when
    // some code matches no entry (row then holds arbitrary bytes).
    [[nodiscard]] bool DecodeRow(const uint8_t* codes, int32_t width, uint8_t* row);

  private:
    struct Slot {
        uint64_t key;
        int32_t position;  // -1: empty
    };
    enum class State { kUnbuilt, kHashed, kDirect, kPaged, kLinear };

    void Build();
    [[nodiscard]] bool BuildHash();
    void BuildDirect();
    [[nodiscard]] bool BuildPaged();
    template <typename EntryOf>
    void ClaimKeys(int32_t codeBytes, EntryOf entryOf);
    [[nodiscard]] size_t Probe(uint64_t key) const;

    const ColorKeyEntry* table_;
    int32_t count_;
    int32_t charsPerPixel_;
    State state_ = State::kUnbuilt;

    // Hash of the packed first 8 characters (see PackCode) to the first position.
    std::unique_ptr<Slot[]> slots_;
    size_t capacity_ = 0;  // a power of two
    uint64_t seed_ = 0;

    // Direct table by the raw code byte: the index byte, or kUnknown.
    uint16_t direct_[256] = {};

    // The 2-byte direct table in 256-entry pages by the first byte: page 0 is all unknown and
    // serves every first byte no code starts with, so the fill costs the pages in use (and
    // the pages in use stay in cache better than a whole 64K table would). Entry of b0 b1:
    // pages_[pageOf_[b0] * 256 + b1].
    std::unique_ptr<uint16_t[]> pages_;
    uint16_t pageOf_[256] = {};
};

}  // namespace xpmfilter
