// Output format names.
#include "xpmimport/command/output_format.h"

#include "ascii_text.h"
#include "xpmimport/output/file_system.h"

namespace xpmimport {

std::optional<OutputFormat> FormatFromName(std::string_view name) {
    for (OutputFormat format : {OutputFormat::kEmf, OutputFormat::kWmf, OutputFormat::kPng}) {
        if (ascii::EqualIgnoringCase(name, FormatName(format))) return format;
    }
    return std::nullopt;
}

std::optional<OutputFormat> FormatFromPath(std::string_view path) {
    size_t dot = path.rfind('.');
    size_t slash = path.find_last_of(PathSeparators());
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    return FormatFromName(path.substr(dot + 1));
}

std::string_view FormatName(OutputFormat format) {
    switch (format) {
        case OutputFormat::kEmf:
            return "emf";
        case OutputFormat::kWmf:
            return "wmf";
        case OutputFormat::kPng:
            return "png";
    }
    return "emf";
}

}  // namespace xpmimport
