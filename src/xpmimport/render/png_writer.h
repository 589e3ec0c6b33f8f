// Writing a picture as a PNG file (8-bit RGB, no interlace), row by row: with libpng on POSIX,
// with the Windows Imaging Component's encoder on Windows.
#pragma once

#include <cstdio>
#include <string>

#include "xpmimport/render/rgb_image.h"

namespace xpmimport {

// Encodes the rows it is given into out (an open, writable stream; left open). begin
// refuses an empty picture (PNG has no picture of 0 pixels); any call fails with the
// encoder's words when encoding or writing fails. The caller checks the stream's own write
// errors when it closes it.
class PngRowWriter final : public RowSink {
  public:
    explicit PngRowWriter(std::FILE* out) : out_(out) {}
    ~PngRowWriter() override;
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;

    [[nodiscard]] bool begin(int32_t width, int32_t height, std::string* error) override;
    [[nodiscard]] bool row(const uint8_t* rgb, std::string* error) override;
    [[nodiscard]] bool finish(std::string* error) override;

  private:
    struct Encoder;  // the platform's encoder state, made by begin

    [[nodiscard]] bool failed(std::string* error);

    std::FILE* out_;
    Encoder* encoder_ = nullptr;
};

}  // namespace xpmimport
