// Byte-at-a-time readers of XPM text, and the block read of fixed-length codes. Each loop
// ends at the latest when a read delivers nothing.
#include "xpm/tokenizer.h"

#include <cstring>

#include "output/graphics_library.h"

namespace xpmfilter {

TextReader::TextReader(StreamHandle stream, int32_t ahead)
    : stream_(stream),
      ahead_(ahead < 1           ? 1
             : ahead > kMaxAhead ? kMaxAhead
                                 : ahead) {
    if (ahead_ == 1) return;
    const GraphicsLibrary& gdi = Gdi();
    position_ = gdi.StreamSeek(stream_, 0, 1);
    // Fetching ahead stops at the length the stream knows: a pipe that is still open past
    // the picture's last byte is never waited on for bytes the text does not need.
    const int32_t length = position_ < 0 ? -1 : gdi.StreamSeek(stream_, 0, 2);
    if (length < 0 || gdi.StreamSeek(stream_, static_cast<int32_t>(position_), 0) < 0) {
        position_ = -1;
        return;
    }
    length_ = length;
}

bool TextReader::Refill() {
    if (ended_) return false;
    int64_t count = position_ < 0 ? 1 : length_ - position_;
    if (count > ahead_) count = ahead_;
    if (count < 1) count = 1;
    const int32_t got = Gdi().StreamRead(stream_, buffer_, static_cast<int32_t>(count));
    if (got <= 0) {
        ended_ = true;  // the stream gives nothing more once it has ended or failed
        return false;
    }
    if (position_ >= 0) position_ += got;
    cursor_ = buffer_;
    end_ = buffer_ + got;
    return true;
}

int32_t TextReader::Block(int32_t length, void* out) {
    if (length <= 0) return 0;
    auto* bytes = static_cast<char*>(out);
    const int32_t fetched = static_cast<int32_t>(end_ - cursor_);
    int32_t received = length < fetched ? length : fetched;
    std::memcpy(bytes, cursor_, static_cast<size_t>(received));
    cursor_ += received;
    while (received < length && !ended_) {
        // A short read is continued, so the result never depends on how the stream chunks
        // its deliveries.
        const int32_t delivered = Gdi().StreamRead(stream_, bytes + received, length - received);
        if (delivered <= 0) {
            ended_ = true;
            break;
        }
        received += delivered;
        if (position_ >= 0) position_ += delivered;
    }
    return received;
}

bool TextReader::Release() {
    const auto unread = static_cast<int32_t>(end_ - cursor_);
    cursor_ = end_ = buffer_;
    if (unread == 0) return true;
    if (Gdi().StreamSeek(stream_, -unread, 1) == -1) {
        ended_ = true;  // the stream stands somewhere past the text: read nothing more
        return false;
    }
    position_ -= unread;
    return true;
}

int IsWhitespace(signed char byte) {
    if (byte < 9) return 0;
    if (byte <= 10) return 1;
    return byte == 13 || byte == 32 ? 1 : 0;
}

int32_t ReadHeaderWord(TextReader& text, char* slot) {
    for (int i = 0; i < kWordSlotBytes; ++i) {
        if (!text.Next(slot[i])) {
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

bool SkipToQuote(TextReader& text) {
    char byte = 0;
    while (text.Next(byte)) {
        if (byte == kQuote) return true;
    }
    return false;
}

bool ReadCodeBytes(TextReader& text, int32_t length, char* buffer) {
    const int32_t received = text.Block(length, buffer);
    buffer[received] = '\0';
    return received == length;
}

int32_t ReadWordsToQuote(TextReader& text, int32_t maxWords, WordSlot* words) {
    int32_t count = 0;
    int32_t length = 0;
    bool inGap = true;
    auto terminate = [&] {
        words[count][length < kWordSlotBytes ? length : kWordSlotBytes - 1] = '\0';
    };

    char byte = 0;
    while (text.Next(byte)) {
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

int32_t ReadQuotedWords(TextReader& text, int32_t maxWords, WordSlot* words) {
    SkipToQuote(text);
    return ReadWordsToQuote(text, maxWords, words);
}

}  // namespace xpmfilter
