// wsprintfA: Windows' small formatter. At most 1024 bytes are stored, the NUL included, and
// only integer, character and string conversions exist (no floating point).
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <optional>

#include "winshim/winshim.h"

namespace winshim {
namespace {

constexpr size_t kMaxOutput = 1024;  // bytes, the NUL included
constexpr int kMaxFieldWidth = static_cast<int>(kMaxOutput);

// Collects output and silently drops what does not fit.
class BoundedOutput {
  public:
    explicit BoundedOutput(char* out) : out_(out) {}
    void Put(char c) {
        if (length_ < kMaxOutput - 1) out_[length_++] = c;
    }
    void Repeat(char c, int count) {
        for (int i = 0; i < count && length_ < kMaxOutput - 1; ++i) out_[length_++] = c;
    }
    void Append(const char* text, size_t count) {
        for (size_t i = 0; i < count && length_ < kMaxOutput - 1; ++i) out_[length_++] = text[i];
    }
    int Finish() {
        out_[length_] = '\0';
        return static_cast<int>(length_);
    }

  private:
    char* out_;
    size_t length_ = 0;
};

struct FieldFormat {
    bool leftAlign = false;
    bool zeroPad = false;
    bool alternate = false;  // '#': 0x prefix for hexadecimal
    int width = 0;
    std::optional<int> precision;
};

// Reads a decimal number, saturating at the output size so huge widths stay harmless.
[[nodiscard]] int ReadNumber(const char** format) {
    int value = 0;
    while (**format >= '0' && **format <= '9') {
        value = std::min(value * 10 + (**format - '0'), kMaxFieldWidth);
        ++*format;
    }
    return value;
}

void PutPadded(BoundedOutput& out, const FieldFormat& field, const char* prefix, const char* body,
               size_t bodyLength, size_t leadingZeros) {
    const size_t prefixLength = std::strlen(prefix);
    const size_t total = prefixLength + leadingZeros + bodyLength;
    const int padding = std::max(field.width - static_cast<int>(total), 0);
    if (!field.leftAlign && !field.zeroPad) out.Repeat(' ', padding);
    out.Append(prefix, prefixLength);
    if (!field.leftAlign && field.zeroPad) out.Repeat('0', padding);
    out.Repeat('0', static_cast<int>(leadingZeros));
    out.Append(body, bodyLength);
    if (field.leftAlign) out.Repeat(' ', padding);
}

void PutInteger(BoundedOutput& out, FieldFormat field, uint32_t magnitude, bool negative, int base,
                bool upper) {
    char digits[16];
    size_t count = 0;
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    // With precision 0 the value 0 prints no digits, as in C.
    while (magnitude != 0 || (count == 0 && field.precision != 0)) {
        digits[sizeof digits - 1 - count++] = alphabet[magnitude % static_cast<uint32_t>(base)];
        magnitude /= static_cast<uint32_t>(base);
    }
    const auto zeros =
        static_cast<size_t>(std::max(field.precision.value_or(0) - static_cast<int>(count), 0));
    if (field.precision) field.zeroPad = false;
    const char* prefix = negative ? "-" : "";
    if (field.alternate && base == 16 && count != 0) prefix = upper ? "0X" : "0x";
    PutPadded(out, field, prefix, digits + sizeof digits - count, count, zeros);
}

[[nodiscard]] int Format(char* buffer, const char* format, va_list args) {
    BoundedOutput out(buffer);
    while (*format != '\0') {
        if (*format != '%') {
            out.Put(*format++);
            continue;
        }
        ++format;
        FieldFormat field;
        for (;; ++format) {
            if (*format == '-') {
                field.leftAlign = true;
            } else if (*format == '0') {
                field.zeroPad = true;
            } else if (*format == '#') {
                field.alternate = true;
            } else {
                break;
            }
        }
        field.width = ReadNumber(&format);
        if (*format == '.') {
            ++format;
            field.precision = ReadNumber(&format);
        }
        // 'l' names a 32-bit LONG, as on Windows; 'h' a 16-bit value.
        bool isShort = false;
        while (*format == 'l' || *format == 'h') {
            if (*format == 'h') isShort = true;
            ++format;
        }
        const char type = *format;
        if (type == '\0') break;
        ++format;
        switch (type) {
            case 'd':
            case 'i': {
                int32_t value = va_arg(args, int32_t);
                if (isShort) value = static_cast<int16_t>(value);
                const bool negative = value < 0;
                const auto bits = static_cast<uint32_t>(value);
                PutInteger(out, field, negative ? 0u - bits : bits, negative, 10, false);
                break;
            }
            case 'u':
            case 'x':
            case 'X': {
                uint32_t value = va_arg(args, uint32_t);
                if (isShort) value = static_cast<uint16_t>(value);
                PutInteger(out, field, value, false, type == 'u' ? 10 : 16, type == 'X');
                break;
            }
            case 'c': {
                const char c = static_cast<char>(va_arg(args, int));
                field.zeroPad = false;
                PutPadded(out, field, "", &c, c == '\0' ? 0 : 1, 0);
                break;
            }
            case 's': {
                const char* text = va_arg(args, const char*);
                if (text == nullptr) text = "(null)";
                size_t length = 0;
                const size_t limit =
                    field.precision ? static_cast<size_t>(*field.precision) : SIZE_MAX;
                while (length < limit && text[length] != '\0') ++length;
                field.zeroPad = false;
                PutPadded(out, field, "", text, length, 0);
                break;
            }
            default:
                // Not a conversion: the character stands for itself ("%%" gives "%").
                out.Put(type);
                break;
        }
    }
    return out.Finish();
}

}  // namespace
}  // namespace winshim

// Returns the characters stored, without the NUL; `out` must hold 1024 bytes.
extern "C" WINSHIM_API int wsprintfA(LPSTR out, LPCSTR format, ...) {
    if (out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (format == nullptr) {
        out[0] = '\0';
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    va_list args;
    va_start(args, format);
    int length = winshim::Format(out, format, args);
    va_end(args);
    return length;
}
