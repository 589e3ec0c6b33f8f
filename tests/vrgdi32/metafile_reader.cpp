// Test-side metafile reader (see metafile_reader.h).
#include "metafile_reader.h"

#include <cstring>

namespace vrgdi32_test {
namespace {

// A little-endian field of type T at byte `at`.
template <class T>
T Get(const std::vector<uint8_t>& b, std::size_t at) {
    T v{};
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}

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
    const DrawnBitmap drawn{dx, dy, dh, Get<int32_t>(b, dib + 8), Get<uint32_t>(b, dib + 32)};
    out.bitmaps.push_back(drawn);
    if (Get<uint32_t>(b, dib) != 40 || Get<uint16_t>(b, dib + 14) != 8 || Get<uint32_t>(b, dib + 16) != 0) return false;
    const int32_t w = Get<int32_t>(b, dib + 4);
    const int32_t h = drawn.dibHeight < 0 ? -drawn.dibHeight : drawn.dibHeight;
    if (w != dw || h != dh) return false;
    const uint32_t colours = drawn.colourCount == 0 ? 256 : drawn.colourCount;
    const std::size_t stride = (static_cast<std::size_t>(w) + 3) / 4 * 4;
    if (bitsBytes < stride * h || bits + stride * h > b.size()) return false;
    for (int32_t row = 0; row < h; ++row) {
        const int32_t stored = drawn.dibHeight > 0 ? h - 1 - row : row;  // positive: bottom row first
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t index = b[bits + stored * stride + x];
            const std::size_t quad = dib + 40 + 4u * index;
            const int32_t cx = dx + x, cy = dy + row;
            if (index >= colours || cx < 0 || cy < 0 || cx >= out.width || cy >= out.height) return false;
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
    if (b.size() < 88 || Get<uint32_t>(b, 0) != 1 || Get<uint32_t>(b, 40) != 0x464D4520) {
        out.error = "no EMF header";
        return out;
    }
    std::memcpy(out.bounds, b.data() + 8, 16);
    std::memcpy(out.frame, b.data() + 24, 16);
    out.declaredBytes = Get<uint32_t>(b, 48);
    out.declaredRecords = Get<uint32_t>(b, 52);
    MakeCanvas(out, out.bounds[2] - out.bounds[0] + 1, out.bounds[3] - out.bounds[1] + 1);
    std::size_t at = 0;
    for (uint32_t size = 0; at + 8 <= b.size(); at += size) {
        const uint32_t type = Get<uint32_t>(b, at);
        size = Get<uint32_t>(b, at + 4);
        if (size < 8 || size % 4 != 0 || at + size > b.size()) {
            out.error = "bad record size at " + std::to_string(at);
            return out;
        }
        ++out.records;
        out.endSeen |= type == 14;  // EMR_EOF
        if (type == 81 && !Paint(out, b, at + Get<uint32_t>(b, at + 48), at + Get<uint32_t>(b, at + 56),
                                 Get<uint32_t>(b, at + 60), Get<int32_t>(b, at + 24), Get<int32_t>(b, at + 28),
                                 Get<int32_t>(b, at + 72), Get<int32_t>(b, at + 76))) {  // EMR_STRETCHDIBITS
            out.error = "bad STRETCHDIBITS at " + std::to_string(at);
            return out;
        }
    }
    if (at != b.size()) out.error = "trailing bytes";
    return out;
}

ReadMetafile ReadWindowsMetafile(const std::vector<uint8_t>& b) {
    ReadMetafile out;
    // The placeable header: key, handle, bounds, units per inch, reserved, checksum.
    std::size_t h = 0;
    if (b.size() >= 22 && Get<uint32_t>(b, 0) == 0x9AC6CDD7) {
        h = 22;
        for (int i = 0; i < 4; ++i) out.placeableBounds[i] = Get<int16_t>(b, 6 + 2 * i);
        out.unitsPerInch = Get<uint16_t>(b, 14);
        uint16_t sum = 0;
        for (std::size_t i = 0; i < 20; i += 2) sum ^= Get<uint16_t>(b, i);
        out.checksumGood = sum == Get<uint16_t>(b, 20);
    }
    if (b.size() < h + 18 || Get<uint16_t>(b, h) != 1 || Get<uint16_t>(b, h + 2) != 9) {
        out.error = "no WMF header";
        return out;
    }
    out.declaredBytes = (static_cast<uint32_t>(Get<uint16_t>(b, h + 8)) << 16 | Get<uint16_t>(b, h + 6)) * 2 + h;
    std::size_t at = h + 18;
    for (std::size_t size = 0; at + 6 <= b.size(); at += size) {
        size = 2 * std::size_t{Get<uint32_t>(b, at)};
        const uint16_t function = Get<uint16_t>(b, at + 4);
        if (size < 6 || at + size > b.size()) {
            out.error = "bad record size at " + std::to_string(at);
            return out;
        }
        ++out.records;
        out.endSeen |= function == 0x0000;
        if (function == 0x020B) {  // SETWINDOWORG: y, x
            out.bounds[1] = Get<int16_t>(b, at + 6);
            out.bounds[0] = Get<int16_t>(b, at + 8);
        } else if (function == 0x020C) {  // SETWINDOWEXT: height, width
            out.bounds[3] = Get<int16_t>(b, at + 6);
            out.bounds[2] = Get<int16_t>(b, at + 8);
            MakeCanvas(out, out.bounds[2], out.bounds[3]);
        } else if (function == 0x0F43) {  // STRETCHDIB: height, width, y, x of the destination, then the DIB
            const std::size_t dib = at + 28;
            const uint32_t colours = Get<uint32_t>(b, dib + 32) == 0 ? 256 : Get<uint32_t>(b, dib + 32);
            const std::size_t bits = dib + 40 + 4 * std::size_t{colours};
            if (!Paint(out, b, dib, bits, at + size - bits, Get<int16_t>(b, at + 26), Get<int16_t>(b, at + 24),
                       Get<int16_t>(b, at + 22), Get<int16_t>(b, at + 20))) {
                out.error = "bad STRETCHDIB at " + std::to_string(at);
                return out;
            }
        }
    }
    if (at != b.size()) out.error = "trailing bytes";
    return out;
}

}  // namespace vrgdi32_test
