// Writing one picture's Windows Metafile (wmf_layout.h) as its bands arrive. The metafile's
// length is known from the start, and so is where each row goes in its one bitmap, which
// holds the bottom row first: each band's rows go straight to their place, turned over in a
// buffer of at most kRecordBytes that gathers consecutive bands into one write. The bands
// must come top to bottom, each right below the one before (another is refused with 320), so
// that every row of the bitmap is written once and none is left unset. The bitmap's header
// and colour table are placed last, with every colour the bands used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "local_buffer.h"
#include "writer/byte_sink.h"
#include "writer/picture_stream.h"

namespace vrgdi32 {

class WindowsMetafileStream final : public PictureStream {
  public:
    WindowsMetafileStream(MetafileForm form, ByteSink& sink) : form_(form), sink_(sink) {}

    [[nodiscard]] int16_t Begin(const PictureShape& shape) override;
    [[nodiscard]] int16_t AddBand(uint32_t y, uint32_t rows, const uint8_t* data,
                                  const BandInk& ink) override;
    // The one table serves the whole bitmap: the palette as it stands at the end.
    [[nodiscard]] int16_t FlushJoined() override { return 0; }
    [[nodiscard]] int16_t End(const PictureShape& shape) override;
    [[nodiscard]] int16_t HeadAs(MetafileForm form, ByteBuilder& out,
                                 std::size_t* replaces) const override;

  private:
    // Writes the rows waiting in the buffer.
    [[nodiscard]] int16_t Flush();

    const MetafileForm form_;
    ByteSink& sink_;
    PictureShape shape_;
    uint32_t stride_ = 0;
    std::size_t headBytes_ = 0;
    std::size_t bitsOffset_ = 0;  // where the bottom row goes
    std::size_t totalBytes_ = 0;
    uint32_t rowsDone_ = 0;  // the rows above the next band
    BandInk ink_;

    LocalBuffer waiting_;  // rows for the file's bytes [waitingFrom_, + waitingBytes_), at its end
    std::size_t waitingFrom_ = 0;
    std::size_t waitingBytes_ = 0;
};

}  // namespace vrgdi32
