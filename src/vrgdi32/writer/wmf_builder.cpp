// Windows Metafile bytes from a recorded picture, records made by libUEMF: the standard
// header, window origin and extent in pixels, one META_STRETCHDIB per band, META_EOF.
#include <cstdlib>
#include <cstring>

#include <uwmf.h>

#include "writer/metafile_builder.h"
#include "writer/writer_errors.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr uint16_t kDibRgbColours = 0;
constexpr uint32_t kMaxCoordinate = 32767;

// Appends one record made by libUEMF (its first u32 is its size in 16-bit words) and
// frees it; false when it is null or does not fit. Tracks the largest record.
bool AppendRecord(char* record, ByteBuilder& out, uint32_t& largestWords) {
    if (record == nullptr) return false;
    uint32_t words = 0;
    std::memcpy(&words, record, sizeof words);
    const bool appended = out.Append(record, std::size_t{words} * 2);
    std::free(record);
    if (words > largestWords) largestWords = words;
    return appended;
}

int16_t Coordinate(uint32_t value) { return static_cast<int16_t>(value); }

}  // namespace

int16_t BuildWindowsMetafile(const Picture& picture, ByteBuilder& out) {
    // Every coordinate of the format is a signed 16-bit value.
    if (picture.width() > kMaxCoordinate || picture.height() > kMaxCoordinate) {
        return kVrErrInvalidCall;
    }
    uint32_t largest = 0;
    char* header = U_WMRHEADER_set(nullptr, static_cast<unsigned>(picture.unitsPerInch()));
    if (header == nullptr) return kVrErrMemory;
    // The record is 18 bytes; the struct that describes it is padded to 20.
    const std::size_t headerBytes = std::size_t{reinterpret_cast<const U_WMRHEADER*>(header)->Size16w} * 2;
    const bool headerAppended = out.Append(header, headerBytes);
    std::free(header);
    if (!headerAppended) return kVrErrMemory;

    if (!AppendRecord(U_WMRSETWINDOWORG_set(U_POINT16{0, 0}), out, largest) ||
        !AppendRecord(U_WMRSETWINDOWEXT_set(U_POINT16{Coordinate(picture.width()),
                                                      Coordinate(picture.height())}),
                      out, largest)) {
        return kVrErrMemory;
    }
    for (const RecordedBand& band : picture.bands()) {
        const auto* info = reinterpret_cast<const U_BITMAPINFO*>(band.dib.data());
        const auto* pixels = reinterpret_cast<const char*>(band.dib.data() + band.infoBytes);
        const U_POINT16 size{Coordinate(band.width), Coordinate(band.rows)};
        char* record = U_WMRSTRETCHDIB_set(U_POINT16{Coordinate(band.x), Coordinate(band.y)}, size,
                                           U_POINT16{0, 0}, size, kDibRgbColours, kSrcCopy, info,
                                           band.pixelBytes, pixels);
        if (!AppendRecord(record, out, largest)) return kVrErrMemory;
    }
    if (!AppendRecord(U_WMREOF_set(), out, largest)) return kVrErrMemory;

    // The header's totals are known only now (libUEMF leaves them to its file writer).
    const uint32_t totalWords = static_cast<uint32_t>(out.size() / 2);
    const uint16_t sizeWords[2] = {static_cast<uint16_t>(totalWords),
                                   static_cast<uint16_t>(totalWords >> 16)};
    std::memcpy(out.data() + offsetof(U_WMRHEADER, Sizew), sizeWords, sizeof sizeWords);
    const uint16_t objects = 0;
    std::memcpy(out.data() + offsetof(U_WMRHEADER, nObjects), &objects, sizeof objects);
    std::memcpy(out.data() + offsetof(U_WMRHEADER, maxSize), &largest, sizeof largest);
    return 0;
}

}  // namespace vrgdi32
