// Byte-at-a-time readers of XPM text, and the block read of fixed-length codes. Each loop
// ends at the latest when a read delivers nothing.
#include "xpm/tokenizer.h"

#include "output/graphics_library.h"

namespace xpmfilter {
bool ReadByte(StreamHandle stream, char& byte) {
    return Gdi().StreamRead(stream, &byte, 1) > 0;
}

int IsWhitespace(signed char byte) {
    if (byte < 9) return 0;
    if (byte <= 10) return 1;
    return byte == 13 || byte == 32 ? 1 : 0;
}

int32_t ReadHeaderWord(StreamHandle stream, char* slot) {
    for (int i = 0; i < kWordSlotBytes; ++i) {
        if (!ReadByte(stream, slot[i])) {
            slot[i] = '\0';
            return -1;
        }
        if (IsWhitespace(static_cast<signed char>(slot[i]))) {
            slot[i] = '\0';
            return 0;
        }
    }
    return -1;
}

bool SkipToQuote(StreamHandle stream) {
    char byte = 0;
    while (ReadByte(stream, byte)) {
        if (byte == kQuote) return true;
    }
    return false;
}

int32_t ReadBlock(StreamHandle stream, int32_t length, void* buffer) {
    auto* bytes = static_cast<char*>(buffer);
    int32_t received = 0;
    while (received < length) {
        int32_t delivered = Gdi().StreamRead(stream, bytes + received, length - received);
        if (delivered <= 0) break;
        received += delivered;
    }
    return received;
}

bool ReadCodeBytes(StreamHandle stream, int32_t length, char* buffer) {
    const int32_t received = ReadBlock(stream, length, buffer);
    buffer[received] = '\0';
    return received == length;
}

int32_t ReadWordsToQuote(StreamHandle stream, int32_t maxWords, WordSlot* words) {
    int32_t count = 0;
    int32_t length = 0;
    bool inGap = true;
    auto terminate = [&] {
        words[count][length < kWordSlotBytes ? length : kWordSlotBytes - 1] = '\0';
    };

    char byte = 0;
    while (ReadByte(stream, byte)) {
        if (byte == kQuote) {
            if (count < maxWords) {
                terminate();
                if (!inGap) ++count;
            }
            return count;
        }
        if (!IsWhitespace(static_cast<signed char>(byte))) {
            if (count < maxWords && length < kWordSlotBytes) words[count][length++] = byte;
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
