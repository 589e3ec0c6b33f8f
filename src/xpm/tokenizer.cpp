// Byte-at-a-time readers of XPM text, and the block read of fixed-length codes. Each loop
// ends at the latest when a read delivers nothing.
#include "xpm/tokenizer.h"

#include <cstring>

namespace xpmfilter {

int32_t ReadBlock(StreamHandle stream, int32_t length, void* out) {
    auto* bytes = static_cast<char*>(out);
    int32_t received = 0;
    while (received < length) {
        const int32_t delivered = Gdi().StreamRead(stream, bytes + received, length - received);
        if (delivered <= 0) break;
        received += delivered < length - received ? delivered : length - received;
    }
    return received;
}

int IsWhitespace(signed char byte) {
    if (byte < 9) return 0;
    if (byte <= 10) return 1;
    return byte == 13 || byte == 32 ? 1 : 0;
}

int32_t ReadHeaderWord(StreamHandle stream, char* slot) {
    for (int i = 0; i < kWordSlotBytes; ++i) {
        if (!ReadByte(stream, slot[i])) return -1;
        if (IsWhitespace(static_cast<signed char>(slot[i]))) {
            slot[i] = '\0';
            return 0;
        }
    }
    return -1;
}

bool SkipToQuote(StreamHandle stream) {
    const auto read = Gdi().StreamRead;  // held in a register across the byte loop
    char byte = 0;
    while (read(stream, &byte, 1) > 0) {
        if (byte == kQuote) return true;
    }
    return false;
}

void ReadCodeBytes(StreamHandle stream, int32_t length, char* buffer) {
    buffer[ReadBlock(stream, length, buffer)] = '\0';
}

int32_t ReadWordsToQuote(StreamHandle stream, int32_t maxWords, WordSlot* words) {
    const auto read = Gdi().StreamRead;
    int32_t count = 0;
    int32_t length = 0;
    bool inGap = true;
    auto terminate = [&] {
        words[count][length < kWordSlotBytes ? length : kWordSlotBytes - 1] = '\0';
    };

    char byte = 0;
    while (read(stream, &byte, 1) > 0) {
        if (byte == kQuote) {
            if (count < maxWords) {
                terminate();
                if (!inGap) ++count;
            }
            return count;
        }
        if (!IsWhitespace(static_cast<signed char>(byte))) {
            if (count < maxWords && length < kWordSlotBytes) {
                // A stored word's slot is zero past its end: hex colours read a fixed span.
                if (length == 0) std::memset(words[count], 0, kWordSlotBytes);
                words[count][length++] = byte;
            }
            inGap = false;
            continue;
        }
        if (!inGap && count < maxWords) {
            terminate();
            ++count;
            length = 0;
        }
        inGap = true;
    }
    return count;
}

int32_t ReadQuotedWords(StreamHandle stream, int32_t maxWords, WordSlot* words) {
    SkipToQuote(stream);
    return ReadWordsToQuote(stream, maxWords, words);
}

}  // namespace xpmfilter
