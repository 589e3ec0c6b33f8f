// Writing one picture's Enhanced Metafile as its bands arrive: the head at once (its totals
// rewritten at the end), then one stretch-DIB record per group of consecutive bands, joined until
// the group has at least kRecordRows rows or kRecordBytes of pixels (readers mis-scale very thin
// records), then the tail. A band that makes such a group by itself, or the picture's last,
// goes to the sink straight from the caller's rows; smaller ones wait in one buffer of at
// most kJoinBytes. So memory stays bounded whatever the picture's size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "local_buffer.h"
#include "writer/byte_sink.h"
#include "writer/metafile_layout.h"
#include "writer/picture_stream.h"

namespace vrgdi32 {

constexpr uint32_t kRecordRows = 64;
// The most a sink reserves before any row has arrived; a larger picture grows it as it comes.
constexpr std::size_t kMaxUpFrontBytes = std::size_t{64} << 20;
constexpr std::size_t kRecordBytes = std::size_t{1} << 20;
constexpr std::size_t kJoinBytes = 2 * kRecordBytes;

class MetafileStream final : public PictureStream {
  public:
    MetafileStream(const MetafileLayout& layout, ByteSink& sink) : layout_(layout), sink_(sink) {}

    [[nodiscard]] int16_t Begin(const PictureShape& shape) override;
    [[nodiscard]] int16_t AddBand(uint32_t y, uint32_t rows, const uint8_t* data,
                                  const BandInk& ink) override;
    // Writes the rows waiting to be joined as a record of their own.
    [[nodiscard]] int16_t FlushJoined() override;
    // Flushes, writes the tail and rewrites the head with the totals.
    [[nodiscard]] int16_t End(const PictureShape& shape) override;
    // The file and the handle hold the same bytes.
    [[nodiscard]] int16_t HeadAs(MetafileForm, ByteBuilder&, std::size_t* replaces) const override {
        *replaces = 0;
        return 0;
    }

  private:
    [[nodiscard]] bool MakesRecord(uint32_t rows) const;
    [[nodiscard]] int16_t WriteRecord(uint32_t y, uint32_t rows, const uint8_t* data,
                                      const BandInk& ink);
    [[nodiscard]] int16_t Join(uint32_t y, uint32_t rows, const uint8_t* data, const BandInk& ink);

    const MetafileLayout& layout_;
    ByteSink& sink_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t stride_ = 0;
    uint32_t rowsSeen_ = 0;
    std::size_t tailBytes_ = 0;
    MetafileTotals totals_;

    LocalBuffer joined_;  // rows waiting, first row first, stride bytes apart
    uint32_t joinedCapacityRows_ = 0;
    uint32_t joinedY_ = 0;
    uint32_t joinedRows_ = 0;
    BandInk joinedInk_;
};

}  // namespace vrgdi32
