// Pixel code to palette index, with exactly the answer of FindColorKey's linear scan (the
// first entry equal in the first 8 characters) but without a scan per pixel once the table
// is large: otherwise a file of many colours and many pixels costs their product.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "xpm/color_definitions.h"

namespace xpmfilter {

// Finds the first of `count` entries whose code equals `code` in at most the first 8
// characters (letter case counts) and stores its position's low 8 bits at out. Returns 0, or
// -1 when no entry matches (out untouched).
[[nodiscard]] int32_t FindColorKey(const char* code, const ColorKeyEntry* table, int32_t count,
                                   uint8_t* out);

// FindColorKey over one table, indexed by code at the first lookup when the table is large.
class ColorKeyIndex {
  public:
    // table has count entries and must outlive the index; nothing is built until needed.
    ColorKeyIndex(const ColorKeyEntry* table, int32_t count) : table_(table), count_(count) {}

    // As FindColorKey(code, table, count, out): 0 with the low 8 bits of the first matching
    // position stored at out, or -1 (out untouched).
    [[nodiscard]] int32_t Find(const char* code, uint8_t* out);

  private:
    bool Build();

    const ColorKeyEntry* table_;
    int32_t count_;
    enum class State { kUnbuilt, kBuilt, kLinear } state_ = State::kUnbuilt;
    std::unordered_map<uint64_t, int32_t> firstPosition_;  // by the first 8 characters
};

}  // namespace xpmfilter
