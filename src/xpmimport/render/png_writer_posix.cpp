// The PNG encoder. libpng reports errors by longjmp: every call into it sits in a function
// of its own with its own setjmp, and nothing with a destructor lives between the two.
#include "xpmimport/render/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace xpmimport {

struct PngRowWriter::Encoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = {};  // libpng's words for its last error
};

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

PngRowWriter::~PngRowWriter() {
    if (encoder_ == nullptr) return;
    if (encoder_->png != nullptr)
        png_destroy_write_struct(&encoder_->png,
                                 encoder_->info != nullptr ? &encoder_->info : nullptr);
    delete encoder_;
}

bool PngRowWriter::failed(std::string* error) {
    const char* message = encoder_ != nullptr ? encoder_->message : "";
    *error = message[0] != '\0' ? std::string("PNG encoding failed: ") + message : "out of memory";
    return false;
}

bool PngRowWriter::begin(int32_t width, int32_t height, std::string* error) {
    if (width <= 0 || height <= 0) {
        *error = "the picture is empty (" + std::to_string(width) + " x " + std::to_string(height) +
                 "); PNG cannot hold it";
        return false;
    }
    encoder_ = new (std::nothrow) Encoder;
    if (encoder_ == nullptr) return failed(error);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, encoder_->message,
                                              RecordPngError, IgnorePngWarning);
    encoder_->png = png;
    if (png == nullptr) return failed(error);
    png_infop info = png_create_info_struct(png);
    encoder_->info = info;
    if (info == nullptr) return failed(error);
    if (StartImage(png, info, out_, static_cast<png_uint_32>(width),
                   static_cast<png_uint_32>(height)) != 0) {
        return failed(error);
    }
    return true;
}

bool PngRowWriter::row(const uint8_t* rgb, std::string* error) {
    if (encoder_ == nullptr || encoder_->info == nullptr) return failed(error);
    return WriteOneRow(encoder_->png, rgb) == 0 || failed(error);
}

bool PngRowWriter::finish(std::string* error) {
    if (encoder_ == nullptr || encoder_->info == nullptr) return failed(error);
    return EndImage(encoder_->png, encoder_->info) == 0 || failed(error);
}

}  // namespace xpmimport
