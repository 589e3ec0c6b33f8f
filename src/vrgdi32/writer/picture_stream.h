// How the writer streams one picture's metafile to a byte sink as its bands arrive: the
// interface that the Enhanced Metafile stream (metafile_stream.h) and the Windows Metafile
// stream (wmf_stream.h) share, and what their bands carry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "local_buffer.h"
#include "writer/metafile_layout.h"

namespace vrgdi32 {

// A metafile as a file holds it, or as a handle's bits hold it (what GetMetaFileBitsEx
// returns). An Enhanced Metafile is the same in both; a Windows Metafile's head differs.
enum class MetafileForm { kFile, kHandle };

// How a band's pixels are to be coloured: the first `colours` entries (1 to 256) of the
// picture's table (blue, green, red, 0 each) and the DIB's resolution.
struct BandInk {
    const uint8_t* colourTable = nullptr;
    uint32_t colours = 0;
    uint32_t pixelsPerMetre = 0;
};

class PictureStream {
  public:
    virtual ~PictureStream() = default;

    // Writes the head. Returns 0 or a writer code (303 when the format cannot hold it). After a
    // failure the writer calls nothing more of the stream: a failed stream keeps no state.
    [[nodiscard]] virtual int16_t Begin(const PictureShape& shape) = 0;
    // Adds rows rows of the picture's width placed from y down, first row first, stride
    // bytes apart; data and the ink's table stay valid until End. Returns 0 or a writer code
    // (300 when the metafile would pass its limit).
    [[nodiscard]] virtual int16_t AddBand(uint32_t y, uint32_t rows, const uint8_t* data,
                                          const BandInk& ink) = 0;
    // Writes what waits, so that the rows sent so far keep the colours they were sent with.
    [[nodiscard]] virtual int16_t FlushJoined() = 0;
    // Completes the metafile in the sink. Returns 0 or a writer code.
    [[nodiscard]] virtual int16_t End(const PictureShape& shape) = 0;

    // After End: the bytes that begin the complete metafile in `form` in place of the first
    // *replaces bytes of what the stream wrote (nothing to replace when the forms agree).
    // Returns 0 or 300.
    [[nodiscard]] virtual int16_t HeadAs(MetafileForm form, ByteBuilder& out,
                                         std::size_t* replaces) const = 0;
};

}  // namespace vrgdi32
