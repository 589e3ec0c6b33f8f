// PNG reading through png_image.
#include "png_reader.h"

#include <png.h>

namespace xpmimport_test {

bool ReadPng(const std::string& path, xpmimport::RgbImage* image, std::string* error) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        *error = png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image->width = static_cast<int32_t>(png.width);
    image->height = static_cast<int32_t>(png.height);
    image->pixels.assign(PNG_IMAGE_SIZE(png), 0);
    if (png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr) == 0) {
        *error = png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

}  // namespace xpmimport_test
