// Streaming one picture's Enhanced Metafile (see metafile_stream.h).
#include "writer/metafile_stream.h"

#include <algorithm>
#include <cstring>

#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kDibHeaderBytes = 40;
constexpr std::size_t kLargestRecordHead = 80;

void Put16(uint8_t* at, uint16_t value) {
    std::memcpy(at, &value, sizeof value);
}
void Put32(uint8_t* at, uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

}  // namespace

bool MetafileStream::MakesRecord(uint32_t rows) const {
    return rows >= kRecordRows || std::size_t{rows} * stride_ >= kRecordBytes;
}

int16_t MetafileStream::Begin(const PictureShape& shape) {
    width_ = shape.width;
    height_ = shape.height;
    stride_ = (width_ + 3) / 4 * 4;
    ByteBuilder head, tail;
    if (const int16_t code = layout_.Head(shape, totals_, head)) return code;
    if (const int16_t code = layout_.Tail(tail)) return code;
    tailBytes_ = tail.size();

    // The most the metafile can take: every record but a few has at least the rows that
    // make a record, and each carries at most a full colour table. Only so much is reserved
    // up front: a few bytes of file may declare a picture of gigabytes and then end.
    uint64_t rowsPerRecord = kRecordRows;
    if (stride_ != 0)
        rowsPerRecord = std::min<uint64_t>(rowsPerRecord, (kRecordBytes + stride_ - 1) / stride_);
    const uint64_t records = 2 * (height_ / rowsPerRecord) + 2;
    const uint64_t most = head.size() + tailBytes_ + uint64_t{height_} * stride_ +
                          records * (layout_.RecordHeadBytes() + kDibHeaderBytes + 4 * 256);
    if (const int16_t code =
            sink_.Reserve(static_cast<std::size_t>(std::min<uint64_t>(most, kMaxUpFrontBytes)))) {
        return code;
    }
    return sink_.Write(head.data(), head.size());
}

int16_t MetafileStream::WriteRecord(uint32_t y, uint32_t rows, const uint8_t* data,
                                    const BandInk& ink) {
    BitmapRecordShape record;
    record.y = y;
    record.width = width_;
    record.rows = rows;
    record.infoBytes = kDibHeaderBytes + 4 * ink.colours;
    record.pixelBytes = rows * stride_;
    const std::size_t headBytes = layout_.RecordHeadBytes();
    const std::size_t bytes = headBytes + record.infoBytes + std::size_t{record.pixelBytes};
    if (bytes > kMaxMetafileBytes - tailBytes_ - sink_.size()) return kVrErrMemory;

    uint8_t head[kLargestRecordHead + kDibHeaderBytes + 4 * 256];
    layout_.RecordHead(record, head);
    uint8_t* info = head + headBytes;
    Put32(info + 0, kDibHeaderBytes);
    Put32(info + 4, width_);
    Put32(info + 8, rows);  // positive height: the bottom row comes first
    Put16(info + 12, 1);
    Put16(info + 14, 8);
    Put32(info + 16, 0);  // BI_RGB
    Put32(info + 20, record.pixelBytes);
    Put32(info + 24, ink.pixelsPerMetre);
    Put32(info + 28, ink.pixelsPerMetre);
    Put32(info + 32, ink.colours);
    Put32(info + 36, 0);
    std::memcpy(info + kDibHeaderBytes, ink.colourTable, 4 * std::size_t{ink.colours});
    if (const int16_t code = sink_.Write(head, headBytes + record.infoBytes)) return code;

    static constexpr uint8_t kPadding[4] = {};
    const uint32_t padding = stride_ - width_;
    for (uint32_t r = rows; r-- > 0;) {
        if (const int16_t code = sink_.Write(data + std::size_t{r} * stride_, width_)) return code;
        if (padding != 0) {
            if (const int16_t code = sink_.Write(kPadding, padding)) return code;
        }
    }
    ++totals_.bitmapRecords;
    return 0;
}

int16_t MetafileStream::Join(uint32_t y, uint32_t rows, const uint8_t* data, const BandInk& ink) {
    if (joined_.data() == nullptr) {
        // Room for the most that can wait, but never more than the picture has left (this
        // band's rows are counted as seen already).
        const auto most = static_cast<uint32_t>(kJoinBytes / stride_);  // bands have pixels
        joinedCapacityRows_ = std::max(rows, std::min(most, height_ - rowsSeen_ + rows));
        if (!joined_.Allocate(std::size_t{joinedCapacityRows_} * stride_)) return kVrErrMemory;
    }
    if (joinedRows_ == 0) {
        joinedY_ = y;
        joinedInk_ = ink;
    }
    uint8_t* to = joined_.data() + std::size_t{joinedRows_} * stride_;
    for (uint32_t r = 0; r < rows; ++r) {
        std::memcpy(to + std::size_t{r} * stride_, data + std::size_t{r} * stride_, width_);
    }
    joinedRows_ += rows;
    joinedInk_.colours = std::max(joinedInk_.colours, ink.colours);
    joinedInk_.pixelsPerMetre = ink.pixelsPerMetre;
    return 0;
}

int16_t MetafileStream::FlushJoined() {
    if (joinedRows_ == 0) return 0;
    const uint32_t rows = joinedRows_;
    joinedRows_ = 0;
    return WriteRecord(joinedY_, rows, joined_.data(), joinedInk_);
}

int16_t MetafileStream::AddBand(uint32_t y, uint32_t rows, const uint8_t* data,
                                const BandInk& ink) {
    // Only a band right below the waiting rows, with room beside them, joins them.
    if (joinedRows_ != 0 &&
        (y != joinedY_ + joinedRows_ || rows > joinedCapacityRows_ - joinedRows_)) {
        if (const int16_t code = FlushJoined()) return code;
    }
    const bool last = rowsSeen_ + rows >= height_;
    rowsSeen_ += rows;
    if (joinedRows_ == 0 && (last || MakesRecord(rows))) return WriteRecord(y, rows, data, ink);
    if (const int16_t code = Join(y, rows, data, ink)) return code;
    if (last || MakesRecord(joinedRows_)) return FlushJoined();
    return 0;
}

int16_t MetafileStream::End(const PictureShape& shape) {
    if (const int16_t code = FlushJoined()) return code;
    ByteBuilder tail, head;
    if (const int16_t code = layout_.Tail(tail)) return code;
    if (const int16_t code = sink_.Write(tail.data(), tail.size())) return code;
    totals_.bytes = sink_.size();
    // The head keeps its length: only the values in it change.
    if (const int16_t code = layout_.Head(shape, totals_, head)) return code;
    if (const int16_t code = sink_.Place(0, head.data(), head.size())) return code;
    if (const int16_t code = sink_.Flush()) return code;
    joined_.Release();
    return 0;
}

}  // namespace vrgdi32
