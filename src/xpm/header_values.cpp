// The header check, the values line, the measuring of the input and the progress percentage.
#include "xpm/header_values.h"

#include "output/graphics_library.h"
#include "xpm/decimal_text.h"
#include "ascii_text.h"
#include "xpm/tokenizer.h"

namespace xpmfilter {
namespace {

constexpr int32_t kValuesWords = 7;
// Codes of more characters than this cannot be held by the code readers; the driver refuses
// them, this reader only flags the ones above 40.
constexpr int32_t kFlaggedCharsPerPixel = 40;

constexpr int32_t kSeekSet = 0;
constexpr int32_t kSeekCurrent = 1;
constexpr int32_t kSeekEnd = 2;

}  // namespace

int32_t CheckXpmHeader(StreamHandle stream) {
    static constexpr const char* kHeaderWords[3] = {"/*", "XPM", "*/"};
    WordSlot words[3] = {};
    for (WordSlot& word : words) {
        if (ReadHeaderWord(stream, word) != 0) return -1;
    }
    for (int i = 0; i < 3; ++i) {
        if (!ascii::EqualIgnoringCase(words[i], kHeaderWords[i])) return -1;
    }
    return 0;
}

int32_t StreamLength(StreamHandle stream) {
    int32_t position = Gdi().StreamSeek(stream, 0, kSeekCurrent);
    if (position == -1) return -1;
    int32_t length = Gdi().StreamSeek(stream, 0, kSeekEnd);
    Gdi().StreamSeek(stream, position, kSeekSet);
    return length;
}

void MeasureInput(StreamHandle stream, ImportContext& import) {
    import.inputSize = StreamLength(stream);
}

int32_t ReadValuesLine(StreamHandle stream, XpmValues& values) {
    WordSlot words[kValuesWords] = {};
    const int32_t count = ReadQuotedWords(stream, kValuesWords, words);
    values.width = DecimalTextValue(words[0]);
    values.height = DecimalTextValue(words[1]);
    values.ncolors = DecimalTextValue(words[2]);
    values.charsPerPixel = DecimalTextValue(words[3]);
    // Six words give a hot spot; five give only its column (the sixth slot is empty), and a
    // seventh word (an extension marker) means the line is not a plain hot spot line.
    values.xHot = count == 5 || count == 6 ? DecimalTextValue(words[4]) : 0;
    values.yHot = count == 6 ? DecimalTextValue(words[5]) : 0;
    values.hasHotspot = count == 6 ? 1 : 0;
    return values.charsPerPixel > kFlaggedCharsPerPixel ? -1 : 0;
}

void UpdateProgressPercent(StreamHandle stream, ImportContext& import) {
    int64_t position = Gdi().StreamSeek(stream, 0, kSeekCurrent);
    if (import.inputSize == 0) {
        import.progressPercent = 100;
        return;
    }
    import.progressPercent = static_cast<int32_t>(position * 100 / import.inputSize);
}

}  // namespace xpmfilter
