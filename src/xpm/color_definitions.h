// The colour definitions that follow the values line: one quoted string per colour, a pixel
// code and key/value pairs. Builds the code table that pixel decoding searches, one RGB
// colour per definition, and sends the palette to the picture writer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/import_context.h"
#include "xpmfilter/xpmfilter.h"
#include "xpm/named_colors.h"
#include "xpm/tokenizer.h"
#include "xpm/xpm_values.h"

namespace xpmfilter {

inline constexpr int kPixelCodeBytes = kXpmMaxCharsPerPixel + 1;  // the code and a zero

// One colour definition as pixel decoding sees it; the palette index is the entry's position.
struct ColorKeyEntry {
    char code[kPixelCodeBytes];
    int32_t value;  // the position of the definition, 0 for the first
};
static_assert(sizeof(ColorKeyEntry) == 44);
static_assert(offsetof(ColorKeyEntry, code) == 0);
static_assert(offsetof(ColorKeyEntry, value) == 40);

// Reads values.ncolors definitions from a stream standing just after the values string into
// entries (ncolors zero-filled entries, the caller's), then sends the palette (start 0, count
// ncolors as 16 bits). charsPerPixel must be 0 to 39. Returns:
//   0  success; the stream stands after the last definition (definitions missing at end of
//      input get an empty code and black);
//  -1  the colour-key check failed (nothing reported), or a colour could not be read (-23
//      reported here);
//  27  the RGB array could not be allocated (reported).
// A palette that cannot be allocated is reported (27) but does not fail the call.
[[nodiscard]] int32_t ReadColorDefinitions(ImportContext& import, StreamHandle stream,
                                           const XpmValues& values, ColorKeyEntry* entries,
                                           const NamedColor* table, int32_t tableCount);

// Scans ahead for a lower-case "c" at an even word count of a string, up to ncolors strings
// (each pass ends at an empty string). Returns 0 with the stream back where it was, or -1
// (position then undefined).
[[nodiscard]] int32_t HasColorKey(StreamHandle stream, const XpmValues& values);

// Reads definition number `index` into entry (its code, and index as its value) and rgb.
// The pixel code is taken raw, spaces included; charsPerPixel is 0 to 39. Returns 0, or -1
// when the "c" colour is neither "none", a "#" value nor a name of one to three words in
// names (the caller reports it). Does not touch the palette. Sets *inputEnded (never null)
// when the input had already ended before the definition's opening quote.
[[nodiscard]] int32_t ReadColorLine(StreamHandle stream, const XpmValues& values, ColorNames names,
                                    int32_t index, ColorKeyEntry& entry, RgbTriple& rgb,
                                    bool* inputEnded);

// Reads the hex digits after the "#" that begins value (a word in a slot that was zero-filled
// before the word was read) into rgb. The six characters after the "#" are always read, two
// per component: a character that is not a hex digit (a zero byte, inside the word or after
// its end, included) counts as -1 and each component keeps its low 8 bits. A word of exactly
// 9 or 12 hex digits gives the two most significant digits of each 3- or 4-digit component.
// Returns 0.
int32_t ParseHexColor(const WordSlot& value, RgbTriple& rgb);

// 0 to 15 for 0-9, a-f, A-F; -1 for any other byte.
[[nodiscard]] int HexDigitValue(char ch);

// Sends rgb[0..count) to the writer as PaletteEntry records with SetPalette(first, count as
// 16 bits). Reports 27 and sends nothing when the entries cannot be allocated, which includes
// a negative count; the decode goes on without a palette. Returns 0, or 27 then.
int32_t SendPalette(ImportContext& import, uint32_t first, int32_t count, const RgbTriple* rgb);

}  // namespace xpmfilter
