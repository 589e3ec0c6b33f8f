// Colour definitions: the colour-key check, one definition per string, hex and named colours,
// and the palette handed to the writer.
#include "xpm/color_definitions.h"

#include <cstring>

#include "xpmfilter/xpmfilter.h"
#include "common/scratch_memory.h"
#include "output/graphics_library.h"
#include "output/status.h"
#include "ascii_text.h"
#include "xpm/tokenizer.h"

namespace xpmfilter {
namespace {

constexpr int32_t kDefinitionWords = 10;
// Names of several words are retried joined by spaces: two words cut to 40 characters,
// three to 49 (the candidate buffer holds 50).
constexpr size_t kTwoWordCandidate = 40;
constexpr size_t kThreeWordCandidate = 49;
bool IsSpace(char byte) {
    return IsWhitespace(static_cast<signed char>(byte)) != 0;
}

// Appends a space and `word` to candidate, keeping at most `limit` characters.
void AppendWord(char* candidate, const char* word, size_t limit) {
    size_t length = std::strlen(candidate);
    if (length < limit) candidate[length++] = ' ';
    for (; *word != '\0' && length < limit; ++word) candidate[length++] = *word;
    candidate[length] = '\0';
}

// The colour of a "c" value into rgb, which is black already: "none" (transparency is not
// kept), "#" digits, or a name of up to three words where the shortest candidate that is a
// name wins. -1 when none of these applies.
int32_t ResolveColorValue(const WordSlot& value, const char* next1, const char* next2,
                          ColorNames names, RgbTriple& rgb) {
    if (ascii::EqualIgnoringCase(value, "none")) return 0;
    if (value[0] == '#') return ParseHexColor(value, rgb);
    if (LookupNamedColor(names.table, names.count, value, rgb) == 0) return 0;
    char candidate[kThreeWordCandidate + 1] = {};
    std::strncpy(candidate, value, kTwoWordCandidate);
    AppendWord(candidate, next1, kTwoWordCandidate);
    if (LookupNamedColor(names.table, names.count, candidate, rgb) == 0) return 0;
    AppendWord(candidate, next2, kThreeWordCandidate);
    return LookupNamedColor(names.table, names.count, candidate, rgb);
}

}  // namespace

int HexDigitValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

int32_t ParseHexColor(const WordSlot& value, RgbTriple& rgb) {
    const char* digits = value + 1;  // after the "#"
    // The word ends at the last non-zero byte: the slot was zero-filled before it was read,
    // and a zero byte inside the word is an ordinary (non-hex) character.
    size_t length = kWordSlotBytes - 1;
    // Whole zero blocks of 8 first: most of the slot is the zero fill.
    for (uint64_t block = 0; length >= 8; length -= 8) {
        std::memcpy(&block, digits + length - 8, sizeof block);
        if (block != 0) break;
    }
    while (length > 0 && digits[length - 1] == '\0') --length;
    bool longForm = length == 9 || length == 12;
    for (size_t i = 0; longForm && i < length; ++i) longForm = HexDigitValue(digits[i]) >= 0;
    // 48-bit and 36-bit colours keep the two most significant digits of each component.
    size_t step = longForm ? length / 3 : 2;
    auto component = [&](size_t at) {
        return static_cast<uint8_t>(HexDigitValue(digits[at]) * 16 + HexDigitValue(digits[at + 1]));
    };
    rgb = RgbTriple{component(0), component(step), component(2 * step)};
    return 0;
}

int32_t HasColorKey(StreamHandle stream, const XpmValues& values) {
    const GraphicsLibrary& gdi = Gdi();
    const int32_t start = gdi.StreamSeek(stream, 0, 1);
    for (int32_t pass = 0; pass < values.ncolors; ++pass) {
        // Once the input has ended no later pass can find a key.
        if (!SkipToQuote(stream)) return -1;
        char byte = 0;
        bool more = ReadByte(stream, byte);
        for (uint32_t counter = 0; more && byte != kQuote; ++counter) {
            while (more && IsSpace(byte)) more = ReadByte(stream, byte);
            if (more && counter % 2 == 0 && byte == 'c') {
                gdi.StreamSeek(stream, start, 0);
                return 0;
            }
            // A quote is not whitespace: a closing quote stays inside its word, so the scan
            // runs on into the next string and only an empty string ends a pass.
            while (more && !IsSpace(byte)) more = ReadByte(stream, byte);
        }
        if (!more) return -1;
    }
    return -1;
}

int32_t ReadColorLine(StreamHandle stream, const XpmValues& values, ColorNames names, int32_t index,
                      ColorKeyEntry& entry, RgbTriple& rgb, bool* inputEnded) {
    char code[kPixelCodeBytes] = {};
    WordSlot words[kDefinitionWords];  // each word's slot is zero-filled as it is read
    if (!SkipToQuote(stream)) *inputEnded = true;
    // At end of input the code is whatever arrived (usually empty) and the colour black.
    ReadCodeBytes(stream, values.charsPerPixel, code);
    int32_t count = ReadWordsToQuote(stream, kDefinitionWords, words);

    std::memcpy(entry.code, code, sizeof entry.code);
    entry.value = index;

    auto word = [&](int32_t i) -> const char* { return i < count ? words[i] : ""; };
    rgb = RgbTriple{0, 0, 0};  // a line without a "c" key is black
    for (int32_t key = 0; key + 1 < count; key += 2) {
        if (!ascii::EqualIgnoringCase(word(key), "c")) continue;
        // key + 1 < count: the value is a word that was read, in its zero-filled slot.
        return ResolveColorValue(words[key + 1], word(key + 2), word(key + 3), names, rgb);
    }
    return 0;
}

int32_t SendPalette(ImportContext& import, uint32_t first, int32_t count, const RgbTriple* rgb) {
    ScratchArray<PaletteEntry> entries(count < 0 ? SIZE_MAX : static_cast<size_t>(count));
    if (!entries) {
        ReportStatus(import, kXpmNoMemory);
        return kXpmNoMemory;
    }
    for (int32_t i = 0; i < count; ++i) {
        entries[i].red = rgb[i].red;
        entries[i].green = rgb[i].green;
        entries[i].blue = rgb[i].blue;
    }
    Gdi().SetPalette(import.writer, static_cast<int16_t>(first), static_cast<int16_t>(count),
                     entries.get());
    return kXpmOk;
}

int32_t ReadColorDefinitions(ImportContext& import, StreamHandle stream, const XpmValues& values,
                             ColorKeyEntry* entries, const NamedColor* table, int32_t tableCount) {
    if (HasColorKey(stream, values) != 0) return kXpmUndecodable;
    // ncolors is at least 1 here: the key check makes no pass for fewer.
    ScratchArray<RgbTriple> rgb(static_cast<size_t>(values.ncolors));
    if (!rgb) {
        ReportStatus(import, kXpmNoMemory);
        return kXpmNoMemory;
    }
    bool inputEnded = false;
    for (int32_t index = 0; index < values.ncolors && !inputEnded; ++index) {
        if (ReadColorLine(stream, values, {table, tableCount}, index, entries[index], rgb[index],
                          &inputEnded) != 0) {
            rgb.reset();
            ReportStatus(import, kXpmNotXpm);
            return kXpmUndecodable;
        }
    }
    // Past the end of input every remaining definition has an empty code and black, which
    // is what the zero-filled tables already hold; not touching them keeps a tiny file that
    // declares millions of colours from committing memory for them.
    // Its result is not looked at: without a palette the decode goes on (27 was reported).
    (void)SendPalette(import, 0, static_cast<int16_t>(values.ncolors), rgb.get());
    return kXpmOk;
}

}  // namespace xpmfilter
