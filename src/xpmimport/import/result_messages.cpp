// Result codes in words. Codes that only the picture writer can produce share one wording:
// the user cannot act on the difference (-v shows the number).
#include "xpmimport/import/result_messages.h"

#include <algorithm>
#include <cstring>

#include "vrgdi32/vrgdi32.h"

namespace xpmimport {
namespace {

constexpr int32_t kMaxWidth = 32768;
constexpr int32_t kMaxCharsPerPixel = 39;
constexpr int32_t kPaletteLimit = 256;
// The picture writer makes metafiles of at most 2 GiB and reports a larger one as out of
// memory. The bitmap rows (4-byte aligned) are nearly all of it; a picture whose rows come
// within this margin of the cap is taken to have met it.
constexpr uint64_t kMaxMetafileBytes = uint64_t{1} << 31;
constexpr uint64_t kMetafileOverheadBytes = uint64_t{16} << 20;

// The bytes of the 8-bit bitmap rows of the declared picture.
[[nodiscard]] uint64_t BitmapBytes(const InputPrologue& prologue) {
    const auto positive = [](int32_t value) { return static_cast<uint64_t>(std::max(value, 0)); };
    return (positive(prologue.width) + 3) / 4 * 4 * positive(prologue.height);
}

// The filter's palette count is 16 bits with a sign: these counts come out negative.
[[nodiscard]] bool NegativePaletteCount(int32_t colors) {
    return colors >= 32768 && colors <= 65535;
}

// The code's words made precise by the prologue; empty when nothing more precise is known.
[[nodiscard]] std::string PreciseWords(int32_t code, const InputPrologue& prologue) {
    const std::string notXpm = NotXpmInWords(prologue.kind);
    if (!notXpm.empty() && (code == -23 || code == -1 || code == 17921 || code == 17922))
        return notXpm;
    if (!prologue.valuesRead) return "";
    const int32_t colors = prologue.colors;
    switch (code) {
        case -23:
            if (prologue.charsPerPixel < 0 || prologue.charsPerPixel > kMaxCharsPerPixel) {
                return "the values line gives " + std::to_string(prologue.charsPerPixel) +
                       " characters per pixel; 0 to 39 can be read";
            }
            return "a colour cannot be read (an unknown colour name, or a value that is not a "
                   "colour)";
        case -1:
            if (colors == 1) return "a picture with one colour definition cannot be imported";
            if (colors < 1) return "the values line declares no colours";
            if (prologue.definitionsRead == colors && !prologue.colorKey) {
                const std::string& keys = prologue.otherKeys;
                return (keys.empty()
                            ? std::string("no colour definition has a c key")
                            : "the colour definitions give colours only with the " + keys + " key" +
                                  (keys.find(',') != std::string::npos ? "s" : "")) +
                       "; the filter takes colours from the c key alone";
            }
            return "";
        case 27:
            if (prologue.height < 0) return "the values line gives a negative height";
            if (NegativePaletteCount(colors)) {
                return "32768 to 65535 colour definitions cannot be imported (this picture "
                       "declares " +
                       std::to_string(colors) + ")";
            }
            if (prologue.width < 1) return "the values line gives no width";
            if (prologue.width > kMaxWidth) {
                return "the picture is " + std::to_string(prologue.width) +
                       " pixels wide; at most 32768 can be imported";
            }
            if (BitmapBytes(prologue) + kMetafileOverheadBytes > kMaxMetafileBytes) {
                return "the picture is " + std::to_string(prologue.width) + " x " +
                       std::to_string(prologue.height) +
                       ": its metafile would pass 2 GiB, the most the picture writer makes";
            }
            return "out of memory";
        case 26:
            if (prologue.height < 0) return "the values line gives a negative height";
            return "";
        case 17921:
        case 17922:
            if (prologue.width < 1 || prologue.height < 1)
                return "the values line gives no usable width and height";
            return "";
        default:
            return "";
    }
}

}  // namespace

std::string_view ResultInWords(int32_t code) {
    switch (code) {
        case 0:
            return "done";
        case -1:
            return "the image data cannot be decoded (a pixel matches no colour, or the rows end "
                   "early)";
        case -7:
            return "the filter's setup record cannot be locked";
        case -23:
            return "not an XPM file, or a colour cannot be read";
        case 7:
            return "cannot open the input";
        case kVrJobReadFailed:
            return "read error";
        case 9:
            return "the disk is full";
        case 14:
            return "writing the picture failed";
        case 23:
            return "the picture cannot be created";
        case 12:
        case 13:
        case 19:
        case 25:
        case 26:
        case 65:
            return "the picture writer failed";
        case 15:
            return "the picture is too large for a Windows Metafile (at most 32767 pixels each "
                   "way; EMF and PNG can hold it)";
        case 27:
            return "out of memory, or the image is too wide (more than 32768 pixels) or has no "
                   "width";
        case 61:
            return "stopped";
        case 5315:
            return "the filter could not prepare the import (no option set or setup record)";
        case 5355:
            return "the filter refused the import";
        case 17921:
        case 17922:
            return "the picture size cannot be read";
        case 17923:
            return "the file information record was refused";
        default:
            return "unknown result";
    }
}

std::string DescribeFailure(int32_t code, const InputPrologue& prologue, bool verbose) {
    std::string text = PreciseWords(code, prologue);
    if (text.empty()) text = ResultInWords(code);
    if (verbose) text += " (" + std::to_string(code) + ")";
    return text;
}

std::string ReadFailureInWords(int32_t reason) {
    switch (reason) {
        case 0:
        case kVrReadRoutineFailed:
            return "read error";
        case kVrReadLookBackLimit:
            return "read error: more of the input would have to be held at once than is "
                   "allowed; give the file by name rather than through a pipe";
        case kVrReadNoMemory:
            return "read error: out of memory";
        default:
            return reason > 0 ? std::string("read error: ") + std::strerror(reason) : "read error";
    }
}

std::string NotXpmInWords(InputKind kind) {
    switch (kind) {
        case InputKind::kXpm:
        case InputKind::kUnread:
            return "";
        case InputKind::kEmpty:
            return "the input is empty";
        case InputKind::kPng:
            return "not an XPM file: it is a PNG picture";
        case InputKind::kUtf8Bom:
            return "not an XPM file: it begins with a UTF-8 byte-order mark (save it without one)";
        case InputKind::kUtf16:
            return "not an XPM file: it is UTF-16 text (XPM is read as 8-bit text)";
        case InputKind::kXpm2:
            return "not an XPM file: it is XPM2, the older format (only \"/* XPM */\" files are "
                   "read)";
        case InputKind::kOther:
            break;
    }
    return "not an XPM file (it must begin with \"/* XPM */\")";
}

std::string ColourWarning(const InputPrologue& prologue) {
    if (prologue.kind != InputKind::kXpm || !prologue.valuesRead) return "";
    const int32_t colors = prologue.colors;
    if (colors == 1) return "one colour definition: such a picture is refused";
    if (NegativePaletteCount(colors)) return "32768 to 65535 colour definitions cannot be imported";
    std::string warning;
    if (colors > kPaletteLimit) {
        warning = std::to_string(colors) +
                  " colours: the palette keeps 256, colour k is drawn as colour k mod 256";
    }
    if (!prologue.oddHexColor.empty()) {
        const std::string& hex = prologue.oddHexColor;
        // The six characters after the "#", two per component; one that is missing or no hex
        // digit counts as -1, and each component keeps its low 8 bits.
        auto digit = [&](size_t at) {
            const char c = at < hex.size() ? hex[at] : '\0';
            if (c >= '0' && c <= '9') return c - '0';
            if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return (c | 0x20) - 'a' + 10;
            return -1;
        };
        std::string rgb;
        for (size_t at = 1; at < 7; at += 2)
            rgb += (at == 1 ? "" : ", ") + std::to_string((digit(at) * 16 + digit(at + 1)) & 0xFF);
        warning += (warning.empty() ? "" : "; ") + hex + " is read by the six-digit rule as (" +
                   rgb + "), not as X reads it; write #RRGGBB";
    }
    return warning;
}

std::string SizeLimitInWords(const InputPrologue& prologue, uint64_t maxPixels) {
    if (maxPixels == 0 || prologue.kind != InputKind::kXpm)
        return "";  // unread: the library applies the limit
    // A negative size is no size: the filter refuses it, or for a height of -2^31 makes an
    // empty picture.
    if (prologue.valuesRead && (prologue.width < 0 || prologue.height < 0)) return "";
    if (!prologue.valuesRead) {
        return "the values line does not end within the first " +
               std::to_string(kPrologueLimit >> 20) +
               " MiB, so the size limit cannot be checked (--max-pixels 0 removes the limit)";
    }
    const uint64_t pixels = DeclaredPixels(prologue);
    if (pixels <= maxPixels) return "";
    return "the picture is " + std::to_string(prologue.width) + " x " +
           std::to_string(prologue.height) + " = " + std::to_string(pixels) +
           " pixels, more than the limit of " + std::to_string(maxPixels) +
           " (--max-pixels N raises it, 0 removes it)";
}

}  // namespace xpmimport
