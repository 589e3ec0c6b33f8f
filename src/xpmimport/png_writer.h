// Writing a picture as a PNG file (8-bit RGB, no interlace) with libpng, row by row.
#pragma once

#include <cstdio>
#include <string>

#include "xpmimport/rgb_image.h"

namespace xpmimport {

// False in a build without a PNG encoder (Windows); PNG output is then refused with these
// words.
[[nodiscard]] bool PngOutputAvailable();
inline constexpr const char* kPngUnavailable = "PNG output is not available in this build";

// Encodes the rows it is given into out (an open, writable stream; left open). begin
// refuses an empty picture (PNG has no picture of 0 pixels); any call fails with libpng's
// words when encoding or writing fails. The caller checks the stream's own write errors
// when it closes it.
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
    [[nodiscard]] bool failed(std::string* error);

    std::FILE* out_;
    void* png_ = nullptr;   // png_structp
    void* info_ = nullptr;  // png_infop
    char message_[256] = {};
};

}  // namespace xpmimport
