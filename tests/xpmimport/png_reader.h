// Reading a PNG back with libpng (its simplified API) for the tests.
#pragma once

#include <string>

#include "xpmimport/rgb_image.h"

namespace xpmimport_test {

// The PNG at path as 8-bit RGB; false with *error set when libpng cannot read it.
[[nodiscard]] bool ReadPng(const std::string& path, xpmimport::RgbImage* image, std::string* error);

}  // namespace xpmimport_test
