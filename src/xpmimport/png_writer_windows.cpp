// No PNG encoder in the Windows build (there is no libpng to link there): the planner
// refuses PNG before anything is read, and these only keep the interface whole.
#include "xpmimport/png_writer.h"

namespace xpmimport {

bool PngOutputAvailable() {
    return false;
}

PngRowWriter::~PngRowWriter() = default;

bool PngRowWriter::failed(std::string* error) {
    *error = kPngUnavailable;
    return false;
}

bool PngRowWriter::begin(int32_t, int32_t, std::string* error) {
    return failed(error);
}
bool PngRowWriter::row(const uint8_t*, std::string* error) {
    return failed(error);
}
bool PngRowWriter::finish(std::string* error) {
    return failed(error);
}

}  // namespace xpmimport
