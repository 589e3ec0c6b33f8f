// Result codes in words. Codes that only the picture writer can produce share one wording:
// the user cannot act on the difference, and the number stays in the message.
#include "xpmimport/result_messages.h"

namespace xpmimport {

std::string_view ResultInWords(int32_t code) {
    switch (code) {
        case 0: return "done";
        case -1: return "the image data cannot be decoded (a pixel matches no colour, or the rows end early)";
        case -7: return "the filter's setup record cannot be locked";
        case -23: return "not an XPM file, or a colour definition cannot be read";
        case 7: return "cannot open the input";
        case 9: return "the disk is full";
        case 14: return "writing the picture failed";
        case 23: return "the picture cannot be created";
        case 12:
        case 13:
        case 15:
        case 19:
        case 25:
        case 26:
        case 65: return "the picture writer failed";
        case 27: return "out of memory, or the image is too wide (more than 32768 pixels) or has no width";
        case 61: return "stopped";
        case 5315: return "the filter could not prepare the import (no option set or setup record)";
        case 5355: return "the filter refused the import";
        case 17921:
        case 17922: return "the picture size cannot be read";
        case 17923: return "the file information record was refused";
        default: return "unknown result";
    }
}

std::string DescribeResult(int32_t code) {
    std::string text(ResultInWords(code));
    text += " (";
    text += std::to_string(code);
    text += ')';
    return text;
}

}  // namespace xpmimport
