// The code index: built at the first lookup, which comes after the colour definitions were
// read, from the table as they left it. Every path gives the linear scan's answer; the scan
// itself remains the fallback when the index cannot get memory.
#include "xpm/color_key_index.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>
#include <iterator>
#include <new>

namespace xpmfilter {
namespace {

// Codes are told apart by their first 8 characters only; longer codes that share them map
// to the earlier definition.
constexpr size_t kSignificantCodeChars = 8;

// Marks a direct-table key that no definition has; above every index byte.
constexpr uint16_t kUnknown = 0x100;

constexpr uint64_t kLowBytes = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The characters that the code comparison looks at (the first n <= 8 of the raw bytes at p,
// of which 8 are readable, ending early at a zero byte), packed into one number, first
// character lowest: two codes compare equal exactly when their keys are equal. The empty
// code's key is 0.
uint64_t PackCode(const uint8_t* p, size_t n) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    uint64_t keep = n >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
    // The lowest flagged byte is exactly the first zero byte among the first n (bytes beyond
    // n are forced non-zero); flags above it may be false and do not matter.
    const uint64_t t = v | ~keep;
    const uint64_t zero = (t - kLowBytes) & ~t & kHighBits;
    if (zero != 0) keep = (uint64_t{1} << (std::countr_zero(zero) & ~7)) - 1;
    return v & keep;
}

uint64_t Mix(uint64_t x) {
    x ^= x >> 32;
    x *= 0xd6e8feb86659fd93ull;
    x ^= x >> 32;
    x *= 0xd6e8feb86659fd93ull;
    x ^= x >> 32;
    return x;
}

// A fresh seed per index: codes chosen to collide under one seed do not under the next.
uint64_t NextSeed() {
    static std::atomic<uint64_t> state{0};
    static const uint64_t start =
        Mix(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            reinterpret_cast<uintptr_t>(&state));
    return Mix(start + state.fetch_add(0x9e3779b97f4a7c15ull, std::memory_order_relaxed));
}

size_t CodeLength(const ColorKeyEntry& entry) {
    return strnlen(entry.code, kPixelCodeBytes);
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

// The slot that holds key, or else the empty slot where the probe for it ends.
size_t ColorKeyIndex::Probe(uint64_t key) const {
    const size_t mask = capacity_ - 1;
    size_t at = Mix(key ^ seed_) & mask;
    while (slots_[at].position >= 0 && slots_[at].key != key) at = (at + 1) & mask;
    return at;
}

// Sized once for the whole table, at most a quarter full: short probes. False when there is
// no memory for it.
bool ColorKeyIndex::BuildHash() {
    capacity_ = std::bit_ceil(static_cast<size_t>(count_) * 4);
    slots_.reset(new (std::nothrow) Slot[capacity_]);
    if (slots_ == nullptr) return false;
    std::fill_n(slots_.get(), capacity_, Slot{0, -1});
    seed_ = NextSeed();
    for (int32_t i = 0; i < count_; ++i) {
        const uint64_t key =
            PackCode(reinterpret_cast<const uint8_t*>(table_[i].code), kSignificantCodeChars);
        Slot& slot = slots_[Probe(key)];
        if (slot.position < 0) slot = Slot{key, i};  // else an earlier definition has it
    }
    return true;
}

// Sets the entry of every raw key (b0, or b0 | b1 << 8) that reads as a definition's code to
// the first such definition. Raw pixel bytes read as a string: a zero byte ends it, so a
// definition of fewer characters claims every key that reads as its code; one of more
// claims none.
template <typename EntryOf>
void ColorKeyIndex::ClaimKeys(int32_t codeBytes, EntryOf entryOf) {
    auto claim = [&](size_t key, int32_t position) {
        uint16_t& entry = entryOf(key);
        if (entry == kUnknown) entry = static_cast<uint8_t>(position);
    };
    for (int32_t i = 0; i < count_; ++i) {
        const auto* code = reinterpret_cast<const uint8_t*>(table_[i].code);
        const size_t length = CodeLength(table_[i]);
        if (length > static_cast<size_t>(codeBytes)) continue;
        if (codeBytes == 1 || length == 2) {
            claim(codeBytes == 1 ? code[0] : code[0] | size_t{code[1]} << 8, i);
        } else if (length == 1) {
            claim(code[0], i);
        } else {
            for (size_t second = 0; second < 256; ++second) claim(second << 8, i);
        }
    }
}

void ColorKeyIndex::BuildDirect() {
    std::fill_n(direct_, std::size(direct_), kUnknown);
    ClaimKeys(1, [&](size_t key) -> uint16_t& { return direct_[static_cast<uint8_t>(key)]; });
}

bool ColorKeyIndex::BuildPaged() {
    // The first bytes of keys that some definition claims (0 for the empty code). Codes are
    // read at most 2 characters long here; a longer one would only cost an unclaimed page.
    bool starts[256] = {};
    for (int32_t i = 0; i < count_; ++i) starts[static_cast<uint8_t>(table_[i].code[0])] = true;
    size_t pages = 1;
    for (size_t first = 0; first < std::size(pageOf_); ++first)
        pageOf_[first] = starts[first] ? static_cast<uint16_t>(pages++) : 0;
    pages_.reset(new (std::nothrow) uint16_t[pages * 256]);
    if (pages_ == nullptr) return false;
    std::fill_n(pages_.get(), pages * 256, kUnknown);
    ClaimKeys(2, [&](size_t key) -> uint16_t& {
        return pages_[size_t{pageOf_[key & 0xFF]} << 8 | key >> 8];
    });
    return true;
}

void ColorKeyIndex::Build() {
    if (charsPerPixel_ == 1) {
        BuildDirect();
        state_ = State::kDirect;
    } else if (charsPerPixel_ == 2 && BuildPaged()) {
        state_ = State::kPaged;
    } else {
        state_ = BuildHash() ? State::kHashed : State::kLinear;
    }
}

bool ColorKeyIndex::DecodeRow(const uint8_t* codes, int32_t width, uint8_t* row) {
    if (state_ == State::kUnbuilt) Build();
    const auto cpp = static_cast<size_t>(charsPerPixel_);
    const auto n = static_cast<size_t>(width);
    // Tables in locals: every byte stored to row could alias the members, which would
    // otherwise be loaded again per pixel.
    if (state_ == State::kDirect) {
        // Unknown codes are collected, not branched on: one test per row.
        unsigned seen = 0;
        for (size_t x = 0; x < n; ++x) {
            const unsigned v = direct_[codes[x]];
            seen |= v;
            row[x] = static_cast<uint8_t>(v);
        }
        return (seen & kUnknown) == 0;
    }
    if (state_ == State::kPaged) {
        const uint16_t* pages = pages_.get();
        unsigned seen = 0;
        for (size_t x = 0; x < n; ++x) {
            const unsigned v = pages[size_t{pageOf_[codes[2 * x]]} << 8 | codes[2 * x + 1]];
            seen |= v;
            row[x] = static_cast<uint8_t>(v);
        }
        return (seen & kUnknown) == 0;
    }
    if (state_ == State::kHashed) {
        const size_t significant = cpp < kSignificantCodeChars ? cpp : kSignificantCodeChars;
        for (size_t x = 0; x < n; ++x) {
            const int32_t position = slots_[Probe(PackCode(codes + x * cpp, significant))].position;
            if (position < 0) return false;  // an empty slot: no definition has the code
            row[x] = static_cast<uint8_t>(position);
        }
        return true;
    }
    char code[kPixelCodeBytes];
    for (size_t x = 0; x < n; ++x) {
        std::memcpy(code, codes + x * cpp, cpp);
        code[cpp] = '\0';
        if (FindColorKey(code, table_, count_, row + x) != 0) return false;
    }
    return true;
}

}  // namespace xpmfilter
