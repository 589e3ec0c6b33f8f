// Readers of XPM text: the whitespace test, header words, the skip to the next quoted string
// and the splitting of a string's content into words, a byte at a time, and the block reads
// of fixed-length codes. Every byte read is consumed, including the one that ends a word or
// a string; a TextReader fetches them ahead in blocks and gives back what was not consumed.
#pragma once

#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace xpmfilter {

// A word slot holds at most 39 characters and a terminating zero.
inline constexpr int kWordSlotBytes = 40;
using WordSlot = char[kWordSlotBytes];

inline constexpr char kQuote = '"';  // opens and closes every string; there is no escape

// A stream read a byte at a time without a call to the library per byte: bytes are fetched
// ahead, up to `ahead` at a time, and Release() moves the stream back to the first byte not
// consumed, so the stream then stands where byte-by-byte reads would have left it. A stream
// that reads only forward can go back there: it keeps every byte from its last reported
// position on, and that position lies before.
class TextReader {
  public:
    static constexpr int32_t kMaxAhead = 4096;

    // Learns where the stream stands (reporting that position, which a forward-only stream
    // takes as the earliest it must keep) and its length; ahead 1 reads exactly as consumed.
    explicit TextReader(StreamHandle stream, int32_t ahead = kMaxAhead);
    ~TextReader() { (void)Release(); }
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // Reads one byte into `byte`; false at the end of input.
    [[nodiscard]] bool Next(char& byte) {
        if (cursor_ == end_ && !Refill()) return false;
        byte = *cursor_++;
        return true;
    }
    // Reads `length` raw bytes into out, large blocks straight from the stream; fewer only at
    // the end of input. Returns how many arrived.
    [[nodiscard]] int32_t Block(int32_t length, void* out);
    // Gives back the bytes fetched and not consumed. False when the stream could not go back
    // (its position is then undefined and the input unusable).
    [[nodiscard]] bool Release();

  private:
    [[nodiscard]] bool Refill();

    StreamHandle stream_;
    int32_t ahead_;
    // Where the stream stands, and its length when it knows it: bytes past the length (or
    // any, when position_ is -1) are read one at a time, as consumed.
    int64_t position_ = -1;
    int64_t length_ = 0;
    bool ended_ = false;
    char* cursor_ = buffer_;
    char* end_ = buffer_;
    char buffer_[kMaxAhead];
};

// 1 for tab, line feed, carriage return and space; 0 for every other byte. The byte is
// taken as signed, so bytes 128 to 255 are never whitespace.
[[nodiscard]] int IsWhitespace(signed char byte);

// Reads up to 40 bytes into slot until one is whitespace, which is consumed and replaced by
// the terminating zero. Returns 0 with the word (possibly empty); -1 after 40 bytes without
// whitespace, or when the input ends first (an unfinished word never matches a header).
[[nodiscard]] int32_t ReadHeaderWord(TextReader& text, char* slot);

// Reads and discards bytes up to and including the next quote. Returns true when a quote was
// read, false when the input ended first (callers that do not care may ignore it).
bool SkipToQuote(TextReader& text);

// Splits what follows in the current quoted string, up to and including its closing quote,
// into at most maxWords words of at most 39 characters (longer words are cut, further words
// read and dropped). Returns the number of words stored. At end of input returns the words
// completed so far; an unfinished word is neither terminated nor counted. The slot of every
// word stored is zero after the word. Slots after the last word are left alone, except that
// trailing whitespace puts an empty word in the next.
[[nodiscard]] int32_t ReadWordsToQuote(TextReader& text, int32_t maxWords, WordSlot* words);

// Reads exactly `length` bytes (0 to 39) into buffer, as they come, whitespace included, and
// puts a zero after them; fewer arrive only at end of input. Returns true when all arrived
// (always for length 0). A short read is continued, so the result never depends on how the
// stream chunks its deliveries.
[[nodiscard]] bool ReadCodeBytes(TextReader& text, int32_t length, char* buffer);

// SkipToQuote, then ReadWordsToQuote: the words of the next quoted string (0 at end of input).
[[nodiscard]] int32_t ReadQuotedWords(TextReader& text, int32_t maxWords, WordSlot* words);

}  // namespace xpmfilter
