// Readers of XPM text: the whitespace test, header words, the skip to the next quoted string
// and the splitting of a string's content into words, a byte per read, and the block read of
// fixed-length codes. Every byte read is consumed, including the one that ends a word or a
// string: nothing is read ahead and nothing is given back, so the stream stands exactly where
// the text ends. Any buffering is the stream's.
#pragma once

#include <cstdint>

#include "output/graphics_library.h"

namespace xpmfilter {

// A word slot holds at most 39 characters and a terminating zero.
inline constexpr int kWordSlotBytes = 40;
using WordSlot = char[kWordSlotBytes];

inline constexpr char kQuote = '"';  // opens and closes every string; there is no escape

// Reads one byte into `byte`; false when the stream delivers nothing (the end of the input,
// or a failed read, which counts as the end).
[[nodiscard]] inline bool ReadByte(StreamHandle stream, char& byte) {
    return Gdi().StreamRead(stream, &byte, 1) > 0;
}

// 1 for tab, line feed, carriage return and space; 0 for every other byte. The byte is
// taken as signed, so bytes 128 to 255 are never whitespace.
[[nodiscard]] int IsWhitespace(signed char byte);

// Reads up to 40 bytes into slot until one is whitespace, which is consumed and replaced by
// the terminating zero. Returns 0 with the word (possibly empty); -1 after 40 bytes without
// whitespace, or when the input ends first (an unfinished word never matches a header; the
// slot then holds no word).
[[nodiscard]] int32_t ReadHeaderWord(StreamHandle stream, char* slot);

// Reads and discards bytes up to and including the next quote. Returns true when a quote was
// read, false when the input ended first (callers that do not care may ignore it).
bool SkipToQuote(StreamHandle stream);

// Splits what follows in the current quoted string, up to and including its closing quote,
// into at most maxWords words of at most 39 characters (longer words are cut, further words
// read and dropped). Returns the number of words stored. At end of input returns the words
// completed so far; an unfinished word is neither terminated nor counted. The slot of every
// word stored is zero after the word. Slots after the last word are left alone, except that
// trailing whitespace puts an empty word in the next.
[[nodiscard]] int32_t ReadWordsToQuote(StreamHandle stream, int32_t maxWords, WordSlot* words);

// Reads exactly `length` raw bytes into out, in one read when the stream delivers them whole;
// a short delivery is continued, so the result never depends on how the stream chunks its
// data. Fewer arrive only at the end of input. Returns how many arrived.
[[nodiscard]] int32_t ReadBlock(StreamHandle stream, int32_t length, void* out);

// Reads exactly `length` bytes (0 to 39) into buffer, as they come, whitespace included, and
// puts a zero after them; fewer arrive only at end of input, and then the code is what came.
void ReadCodeBytes(StreamHandle stream, int32_t length, char* buffer);

// SkipToQuote, then ReadWordsToQuote: the words of the next quoted string (0 at end of input).
[[nodiscard]] int32_t ReadQuotedWords(StreamHandle stream, int32_t maxWords, WordSlot* words);

}  // namespace xpmfilter
