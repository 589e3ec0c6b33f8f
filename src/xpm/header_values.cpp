// The header check, the values line, the measuring of the input and the progress percentage.
#include "xpm/header_values.h"

#include "output/graphics_library.h"
#include "xpm/decimal_text.h"
#include "ascii_text.h"
#include "xpm/tokenizer.h"

namespace xpmfilter {
namespace {

constexpr int32_t kValuesWords = 4;  // the rest of the line is read and dropped

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

void ReadValuesLine(StreamHandle stream, XpmValues& values) {
    WordSlot words[kValuesWords] = {};
    SkipToQuote(stream);
    (void)ReadWordsToQuote(stream, kValuesWords, words);
    values.width = DecimalTextValue(words[0]);
    values.height = DecimalTextValue(words[1]);
    values.ncolors = DecimalTextValue(words[2]);
    values.charsPerPixel = DecimalTextValue(words[3]);
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
