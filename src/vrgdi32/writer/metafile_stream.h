// Writing one picture's metafile as its bands arrive: the head at once (its totals rewritten
// at the end), then one stretch-DIB record per group of consecutive bands, joined until the
// group has at least kRecordRows rows or kRecordBytes of pixels (readers mis-scale very thin
// records), then the tail. A band that makes such a group by itself, or the picture's last,
// goes to the sink straight from the caller's rows; smaller ones wait in one buffer of at
// most kJoinBytes. So memory stays bounded whatever the picture's size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "local_buffer.h"
#include "writer/byte_sink.h"
#include "writer/metafile_layout.h"

namespace vrgdi32 {

constexpr uint32_t kRecordRows = 64;
// The most a sink reserves before any row has arrived; a larger picture grows it as it comes.
constexpr std::size_t kMaxUpFrontBytes = std::size_t{64} << 20;
constexpr std::size_t kRecordBytes = std::size_t{1} << 20;
constexpr std::size_t kJoinBytes = 2 * kRecordBytes;

// How a band's pixels are to be coloured: the first `colours` entries of the table (blue,
// green, red, 0 each) and the DIB's resolution.
struct BandInk {
    const uint8_t* colourTable = nullptr;
    uint32_t colours = 0;
    uint32_t pixelsPerMetre = 0;
};

class MetafileStream {
  public:
    MetafileStream(const MetafileLayout& layout, ByteSink& sink) : layout_(layout), sink_(sink) {}

    // Writes the head. Returns 0 or a writer code (303 when the format cannot hold it).
    [[nodiscard]] int16_t Begin(const PictureShape& shape);
    // Adds rows rows of the picture's width placed from y down, first row first, stride
    // bytes apart. Returns 0 or a writer code (300 when the metafile would pass its limit).
    [[nodiscard]] int16_t AddBand(uint32_t y, uint32_t rows, const uint8_t* data,
                                  const BandInk& ink);
    // Writes the rows waiting to be joined as a record of their own.
    [[nodiscard]] int16_t FlushJoined();
    // Flushes, writes the tail and rewrites the head with the totals. Returns 0 or a code.
    [[nodiscard]] int16_t End(const PictureShape& shape);

    [[nodiscard]] bool begun() const { return begun_; }

  private:
    [[nodiscard]] bool MakesRecord(uint32_t rows) const;
    [[nodiscard]] int16_t WriteRecord(uint32_t y, uint32_t rows, const uint8_t* data,
                                      const BandInk& ink);
    [[nodiscard]] int16_t Join(uint32_t y, uint32_t rows, const uint8_t* data, const BandInk& ink);
    [[nodiscard]] int16_t Fail(int16_t code) { return failure_ = code; }

    const MetafileLayout& layout_;
    ByteSink& sink_;
    int16_t failure_ = 0;
    bool begun_ = false;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t stride_ = 0;
    uint32_t rowsSeen_ = 0;
    std::size_t headBytes_ = 0;
    std::size_t tailBytes_ = 0;
    MetafileTotals totals_;

    LocalBuffer joined_;  // rows waiting, first row first, stride bytes apart
    uint32_t joinedCapacityRows_ = 0;
    uint32_t joinedY_ = 0;
    uint32_t joinedRows_ = 0;
    BandInk joinedInk_;
};

}  // namespace vrgdi32
