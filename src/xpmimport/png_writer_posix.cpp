// The PNG encoder. libpng reports errors by longjmp: every call into it sits in a function
// of its own with its own setjmp, and nothing with a destructor lives between the two.
#include "xpmimport/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace xpmimport {
namespace {

extern "C" void RecordPngError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(sink, 256, "%s", message != nullptr ? message : "libpng error");
    png_longjmp(png, 1);
}

extern "C" void IgnorePngWarning(png_structp, png_const_charp) {}

// Each returns 0, or 1 after libpng failed.
int StartImage(png_structp png, png_infop info, std::FILE* out, png_uint_32 width,
               png_uint_32 height) {
    if (setjmp(png_jmpbuf(png)) != 0) return 1;
    png_init_io(png, out);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // XPM pictures are few colours in flat areas or noise: row filters cost more than they
    // save there, and deflate's fastest level is 2.5x faster on 4096 x 4096 noise than the
    // default (with its filters), and its file is smaller.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    return 0;
}

int WriteOneRow(png_structp png, const uint8_t* rgb) {
    if (setjmp(png_jmpbuf(png)) != 0) return 1;
    png_write_row(png, rgb);
    return 0;
}

int EndImage(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png)) != 0) return 1;
    png_write_end(png, info);
    return 0;
}

}  // namespace

bool PngOutputAvailable() {
    return true;
}

PngRowWriter::~PngRowWriter() {
    auto* png = static_cast<png_structp>(png_);
    auto* info = static_cast<png_infop>(info_);
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
}

bool PngRowWriter::failed(std::string* error) {
    *error =
        message_[0] != '\0' ? std::string("PNG encoding failed: ") + message_ : "out of memory";
    return false;
}

bool PngRowWriter::begin(int32_t width, int32_t height, std::string* error) {
    if (width <= 0 || height <= 0) {
        *error = "the picture is empty (" + std::to_string(width) + " x " + std::to_string(height) +
                 "); PNG cannot hold it";
        return false;
    }
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, message_, RecordPngError, IgnorePngWarning);
    png_ = png;
    if (png == nullptr) return failed(error);
    png_infop info = png_create_info_struct(png);
    info_ = info;
    if (info == nullptr) return failed(error);
    if (StartImage(png, info, out_, static_cast<png_uint_32>(width),
                   static_cast<png_uint_32>(height)) != 0) {
        return failed(error);
    }
    return true;
}

bool PngRowWriter::row(const uint8_t* rgb, std::string* error) {
    if (png_ == nullptr) return failed(error);
    return WriteOneRow(static_cast<png_structp>(png_), rgb) == 0 || failed(error);
}

bool PngRowWriter::finish(std::string* error) {
    if (png_ == nullptr || info_ == nullptr) return failed(error);
    return EndImage(static_cast<png_structp>(png_), static_cast<png_infop>(info_)) == 0 ||
           failed(error);
}

}  // namespace xpmimport
