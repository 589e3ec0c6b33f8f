// Streaming one picture's Windows Metafile (see wmf_stream.h).
#include "writer/wmf_stream.h"

#include <algorithm>
#include <cstring>

#include "writer/metafile_stream.h"
#include "writer/wmf_layout.h"
#include "writer/metafile_limits.h"

namespace vrgdi32 {

int16_t WindowsMetafileStream::Begin(const PictureShape& shape) {
    shape_ = shape;
    stride_ = (shape.width + 3) / 4 * 4;
    ByteBuilder head;
    if (const int16_t code = WindowsMetafileHead(shape, form_, head)) return code;
    headBytes_ = head.size();
    // At most 32767 rows of 32768 bytes (the head refuses more): far below kMaxMetafileBytes.
    const std::size_t pixels = std::size_t{shape.height} * stride_;
    bitsOffset_ = headBytes_ + (pixels == 0 ? 0 : kWmfBitmapInfoBytes);
    totalBytes_ = bitsOffset_ + pixels + kWmfEofBytes;
    // Only so much is reserved up front: a few bytes of file may declare a picture of
    // gigabytes and then end. The first band, which goes to the end, asks for the rest.
    if (const int16_t code = sink_.Reserve(std::min(totalBytes_, kMaxUpFrontBytes))) return code;
    return sink_.Write(head.data(), head.size());
}

int16_t WindowsMetafileStream::AddBand(uint32_t y, uint32_t rows, const uint8_t* data,
                                       const BandInk& ink) {
    // The picture has checked that the rows lie inside it.
    if (y != rowsDone_) return kVrErrInvalidCall;
    rowsDone_ += rows;
    if (waiting_.data() == nullptr) {
        if (const int16_t code = sink_.Reserve(totalBytes_)) return code;
        const std::size_t bits = totalBytes_ - bitsOffset_ - kWmfEofBytes;
        if (!waiting_.Allocate(std::max<std::size_t>(stride_, std::min(bits, kRecordBytes)),
                               LocalBuffer::Fill::kUnset)) {
            return kVrErrMemory;
        }
    }
    ink_.colourTable = ink.colourTable;
    ink_.colours = std::max(ink_.colours, ink.colours);
    ink_.pixelsPerMetre = ink.pixelsPerMetre;
    const std::size_t capacity = waiting_.capacity();
    for (uint32_t r = 0; r < rows; ++r) {
        // Row y + r of the picture is row height - 1 - (y + r) of the bitmap: the rows come in
        // order, each just before the one before it in the file.
        const std::size_t at = bitsOffset_ + std::size_t{shape_.height - 1 - (y + r)} * stride_;
        if (waitingBytes_ + stride_ > capacity) {
            if (const int16_t code = Flush()) return code;
        }
        waitingBytes_ += stride_;
        waitingFrom_ = at;
        uint8_t* to = waiting_.data() + capacity - waitingBytes_;
        std::memcpy(to, data + std::size_t{r} * stride_, shape_.width);
        std::memset(to + shape_.width, 0, stride_ - shape_.width);
    }
    return 0;
}

int16_t WindowsMetafileStream::Flush() {
    if (waitingBytes_ == 0) return 0;
    const uint8_t* from = waiting_.data() + waiting_.capacity() - waitingBytes_;
    const std::size_t count = waitingBytes_;
    waitingBytes_ = 0;
    return sink_.Place(waitingFrom_, from, count);
}

int16_t WindowsMetafileStream::End(const PictureShape&) {
    if (const int16_t code = Flush()) return code;
    waiting_.Release();
    if (bitsOffset_ != headBytes_) {
        uint8_t info[kWmfBitmapInfoBytes];
        PutWindowsMetafileBitmapInfo(shape_, ink_, info);
        if (const int16_t code = sink_.Place(headBytes_, info, sizeof info)) return code;
    }
    ByteBuilder tail;
    if (const int16_t code = WindowsMetafileTail(tail)) return code;
    if (const int16_t code = sink_.Place(totalBytes_ - tail.size(), tail.data(), tail.size()))
        return code;
    return sink_.Flush();
}

int16_t WindowsMetafileStream::HeadAs(MetafileForm form, ByteBuilder& out,
                                      std::size_t* replaces) const {
    *replaces = headBytes_;
    return WindowsMetafileHead(shape_, form, out);
}

}  // namespace vrgdi32
