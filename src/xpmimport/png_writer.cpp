// The PNG encoder. libpng reports errors by longjmp; nothing with a destructor lives
// between setjmp and the calls that may jump.
#include "xpmimport/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace xpmimport {
namespace {

struct ErrorSink {
    char message[256] = {};
};

extern "C" void RecordPngError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message != nullptr ? message : "libpng error");
    png_longjmp(png, 1);
}

extern "C" void IgnorePngWarning(png_structp, png_const_charp) {}

// Returns 0, or 1 after libpng failed (message in sink).
int EncodeRows(png_structp png, png_infop info, std::FILE* out, const RgbImage& image) {
    if (setjmp(png_jmpbuf(png)) != 0) return 1;
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    for (int32_t y = 0; y < image.height; ++y) {
        png_write_row(png, image.pixels.data() + static_cast<size_t>(y) * rowBytes);
    }
    png_write_end(png, info);
    return 0;
}

}  // namespace

bool WritePng(std::FILE* out, const RgbImage& image, std::string* error) {
    if (image.width <= 0 || image.height <= 0) {
        *error = "the picture is empty (" + std::to_string(image.width) + " x " + std::to_string(image.height) +
                 "); PNG cannot hold it";
        return false;
    }
    ErrorSink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, RecordPngError, IgnorePngWarning);
    if (png == nullptr) {
        *error = "out of memory for the PNG encoder";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    int failed = info == nullptr ? 1 : EncodeRows(png, info, out, image);
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    if (failed != 0) {
        *error = sink.message[0] != '\0' ? std::string("PNG encoding failed: ") + sink.message : "out of memory";
        return false;
    }
    return true;
}

}  // namespace xpmimport
