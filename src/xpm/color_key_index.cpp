// The code index: built at the first lookup, which comes after the colour definitions were
// read, from the table as they left it.
#include "xpm/color_key_index.h"

#include <cstring>
#include <new>

namespace xpmfilter {
namespace {

// Codes are told apart by their first 8 characters only; longer codes that share them map
// to the earlier definition.
constexpr size_t kSignificantCodeChars = 8;

// Small tables are scanned: for them a scan is as quick as hashing.
constexpr int32_t kLinearScanLimit = 4;

// The characters that the code comparison looks at (up to 8, ending at a zero byte), packed
// into one number: two codes compare equal exactly when their keys are equal.
uint64_t CodeKey(const char* code) {
    uint64_t key = 0;
    for (size_t i = 0; i < kSignificantCodeChars && code[i] != '\0'; ++i)
        key |= uint64_t{static_cast<unsigned char>(code[i])} << (8 * i);
    return key;
}

}  // namespace

int32_t FindColorKey(const char* code, const ColorKeyEntry* table, int32_t count, uint8_t* out) {
    for (int32_t i = 0; i < count; ++i) {
        if (std::strncmp(table[i].code, code, kSignificantCodeChars) != 0) continue;
        *out = static_cast<uint8_t>(i);
        return 0;
    }
    return -1;
}

bool ColorKeyIndex::Build() {
    try {
        for (int32_t i = 0; i < count_; ++i) firstPosition_.try_emplace(CodeKey(table_[i].code), i);
        return true;
    } catch (const std::bad_alloc&) {
        firstPosition_.clear();
        return false;
    }
}

int32_t ColorKeyIndex::Find(const char* code, uint8_t* out) {
    if (state_ == State::kUnbuilt)
        state_ = count_ > kLinearScanLimit && Build() ? State::kBuilt : State::kLinear;
    if (state_ == State::kLinear) return FindColorKey(code, table_, count_, out);
    auto found = firstPosition_.find(CodeKey(code));
    if (found == firstPosition_.end()) return -1;
    *out = static_cast<uint8_t>(found->second);
    return 0;
}

}  // namespace xpmfilter
