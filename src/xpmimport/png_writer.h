// Writing an RgbImage as a PNG file (8-bit RGB, no interlace) with libpng.
#pragma once

#include <cstdio>
#include <string>

#include "xpmimport/rgb_image.h"

namespace xpmimport {

// Writes image to out (an open, writable stream; left open). Returns false with *error set
// to libpng's words when encoding or writing fails, or when the image is empty (PNG has no
// picture of 0 pixels). The caller checks the stream's own write errors when it closes it.
[[nodiscard]] bool WritePng(std::FILE* out, const RgbImage& image, std::string* error);

}  // namespace xpmimport
