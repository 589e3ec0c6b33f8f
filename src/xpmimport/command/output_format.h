// The output formats and how they are named on the command line and in file names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xpmimport {

enum class OutputFormat { kEmf, kWmf, kPng };

// "emf", "wmf" or "png" (any case) -> the format; anything else -> nullopt.
[[nodiscard]] std::optional<OutputFormat> FormatFromName(std::string_view name);
// The format a path's extension names (".emf", ".wmf", ".png", any case), or nullopt.
[[nodiscard]] std::optional<OutputFormat> FormatFromPath(std::string_view path);
// "emf", "wmf", "png".
[[nodiscard]] std::string_view FormatName(OutputFormat format);

}  // namespace xpmimport
