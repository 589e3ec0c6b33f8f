// The Windows Metafile as the writer makes it, in its two forms. Both hold one
// META_STRETCHDIB record with the whole bitmap (libwmf, and so ImageMagick and wmf2svg, draws
// every bitmap record after the first too low), its DIB bottom row first (wmf2svg turns a
// top-down DIB over) with a whole colour table, and META_EOF.
// - A file begins with the placeable header (bounds and units per inch) that file readers
//   size the picture by, then the standard header and the record, with no window records:
//   LibreOffice shows a picture that sets its window at no less than an inch on its longer
//   side. LibreOffice also shows a picture whose bounds are 1 unit wide or high 10 cm square,
//   so a picture with a 1-pixel side has 2 logical units to the pixel (and twice the units
//   per inch).
// - A handle's bits (what GetMetaFileBitsEx returns) begin with the standard header and set
//   the window's origin and extent to the picture's pixels, so that a GDI host plays it into
//   any rectangle by setting the viewport alone.
// The two differ only in their heads: from the bitmap's header on, the bytes are the same.
// Every coordinate is a signed 16-bit value, so neither side may pass 32767.
#pragma once

#include <cstddef>
#include <cstdint>

#include "local_buffer.h"
#include "writer/metafile_layout.h"
#include "writer/picture_stream.h"

namespace vrgdi32 {

// The bitmap's header and its colour table, which is always whole (256 entries), so that
// its length is known before the first band says which colours it uses.
constexpr std::size_t kWmfBitmapInfoBytes = 40 + 4 * 256;
constexpr std::size_t kWmfEofBytes = 6;

// The bytes before the bitmap's header: the head of the metafile and the fixed part of its
// bitmap record (none when the picture has no pixels). Returns 0, 300 or
// kVrErrTooLargeForFormat.
[[nodiscard]] int16_t WindowsMetafileHead(const PictureShape& shape, MetafileForm form,
                                          ByteBuilder& out);
// The bitmap's header and colour table (the first ink.colours entries of its table, the rest
// black) for a bitmap of the picture's size.
void PutWindowsMetafileBitmapInfo(const PictureShape& shape, const BandInk& ink, uint8_t* out);
// Appends META_EOF (kWmfEofBytes). Returns 0 or 300.
[[nodiscard]] int16_t WindowsMetafileTail(ByteBuilder& out);

}  // namespace vrgdi32
