// Test-side metafile reader (see metafile_reader.h).
#include "metafile_reader.h"

#include <cstring>

namespace vrgdi32_test {
namespace {

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
int32_t I32(const std::vector<uint8_t>& b, std::size_t at) { return static_cast<int32_t>(U32(b, at)); }
uint16_t U16(const std::vector<uint8_t>& b, std::size_t at) {
    uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}
int16_t I16(const std::vector<uint8_t>& b, std::size_t at) { return static_cast<int16_t>(U16(b, at)); }

void MakeCanvas(ReadMetafile& out, int32_t width, int32_t height) {
    out.width = width < 0 ? 0 : width;
    out.height = height < 0 ? 0 : height;
    out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, Rgb{});
    out.painted.assign(out.pixels.size(), false);
}

// Paints the packed DIB at `dib` (header, colour table, then bits at `bits`) into the
// canvas at the destination; no stretching (the writer never stretches).
bool Paint(ReadMetafile& out, const std::vector<uint8_t>& b, std::size_t dib, std::size_t bits,
           std::size_t bitsBytes, int32_t dx, int32_t dy, int32_t dw, int32_t dh) {
    if (dib + 40 > b.size()) return false;
    DrawnBitmap drawn;
    drawn.x = dx;
    drawn.y = dy;
    drawn.width = dw;
    drawn.height = dh;
    drawn.dibWidth = I32(b, dib + 4);
    drawn.dibHeight = I32(b, dib + 8);
    drawn.colourCount = U32(b, dib + 32);
    out.bitmaps.push_back(drawn);
    if (U32(b, dib) != 40 || U16(b, dib + 14) != 8 || U32(b, dib + 16) != 0) return false;
    const int32_t w = drawn.dibWidth;
    const int32_t h = drawn.dibHeight < 0 ? -drawn.dibHeight : drawn.dibHeight;
    if (w != dw || h != dh) return false;
    const uint32_t colours = drawn.colourCount == 0 ? 256 : drawn.colourCount;
    const std::size_t stride = (static_cast<std::size_t>(w) + 3) / 4 * 4;
    if (bitsBytes < stride * h || bits + stride * h > b.size()) return false;
    for (int32_t row = 0; row < h; ++row) {
        // A positive height stores the bottom row first.
        const int32_t stored = drawn.dibHeight > 0 ? h - 1 - row : row;
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t index = b[bits + stored * stride + x];
            if (index >= colours) return false;
            const std::size_t quad = dib + 40 + 4u * index;
            const int32_t cx = dx + x, cy = dy + row;
            if (cx < 0 || cy < 0 || cx >= out.width || cy >= out.height) return false;
            const std::size_t at = static_cast<std::size_t>(cy) * out.width + cx;
            out.pixels[at] = Rgb{b[quad + 2], b[quad + 1], b[quad]};
            out.painted[at] = true;
        }
    }
    return true;
}

}  // namespace

ReadMetafile ReadEnhancedMetafile(const std::vector<uint8_t>& b) {
    ReadMetafile out;
    if (b.size() < 88 || U32(b, 0) != 1 || U32(b, 40) != 0x464D4520) {
        out.error = "no EMF header";
        return out;
    }
    for (int i = 0; i < 4; ++i) out.bounds[i] = I32(b, 8 + 4 * i);
    for (int i = 0; i < 4; ++i) out.frame[i] = I32(b, 24 + 4 * i);
    out.declaredBytes = U32(b, 48);
    out.declaredRecords = U32(b, 52);
    MakeCanvas(out, out.bounds[2] - out.bounds[0] + 1, out.bounds[3] - out.bounds[1] + 1);
    std::size_t at = 0;
    while (at + 8 <= b.size()) {
        const uint32_t type = U32(b, at);
        const uint32_t size = U32(b, at + 4);
        if (size < 8 || size % 4 != 0 || at + size > b.size()) {
            out.error = "bad record size at " + std::to_string(at);
            return out;
        }
        ++out.records;
        if (type == 81) {  // EMR_STRETCHDIBITS
            const int32_t dx = I32(b, at + 24), dy = I32(b, at + 28);
            const uint32_t offBmi = U32(b, at + 48), offBits = U32(b, at + 56), cbBits = U32(b, at + 60);
            const int32_t dw = I32(b, at + 72), dh = I32(b, at + 76);
            if (!Paint(out, b, at + offBmi, at + offBits, cbBits, dx, dy, dw, dh)) {
                out.error = "bad STRETCHDIBITS at " + std::to_string(at);
                return out;
            }
        } else if (type == 14) {  // EMR_EOF
            out.endSeen = true;
        }
        at += size;
    }
    if (at != b.size()) out.error = "trailing bytes";
    return out;
}

ReadMetafile ReadWindowsMetafile(const std::vector<uint8_t>& b) {
    ReadMetafile out;
    if (b.size() < 18 || U16(b, 0) != 1 || U16(b, 2) != 9) {
        out.error = "no WMF header";
        return out;
    }
    out.declaredBytes = (static_cast<uint32_t>(U16(b, 8)) << 16 | U16(b, 6)) * 2;
    std::size_t at = 18;
    while (at + 6 <= b.size()) {
        const uint32_t words = U32(b, at);
        const uint16_t function = U16(b, at + 4);
        if (words < 3 || at + 2 * std::size_t{words} > b.size()) {
            out.error = "bad record size at " + std::to_string(at);
            return out;
        }
        ++out.records;
        if (function == 0x020B) {  // SETWINDOWORG: y, x
            out.bounds[1] = I16(b, at + 6);
            out.bounds[0] = I16(b, at + 8);
        } else if (function == 0x020C) {  // SETWINDOWEXT: height, width
            out.bounds[3] = I16(b, at + 6);
            out.bounds[2] = I16(b, at + 8);
            MakeCanvas(out, out.bounds[2], out.bounds[3]);
        } else if (function == 0x0F43) {  // STRETCHDIB
            const int32_t dh = I16(b, at + 20), dw = I16(b, at + 22);
            const int32_t dy = I16(b, at + 24), dx = I16(b, at + 26);
            const std::size_t dib = at + 28;
            const uint32_t colours = U32(b, dib + 32) == 0 ? 256 : U32(b, dib + 32);
            const std::size_t bits = dib + 40 + 4 * std::size_t{colours};
            if (!Paint(out, b, dib, bits, at + 2 * std::size_t{words} - bits, dx, dy, dw, dh)) {
                out.error = "bad STRETCHDIB at " + std::to_string(at);
                return out;
            }
        } else if (function == 0x0000) {
            out.endSeen = true;
        }
        at += 2 * std::size_t{words};
    }
    if (at != b.size()) out.error = "trailing bytes";
    return out;
}

}  // namespace vrgdi32_test
