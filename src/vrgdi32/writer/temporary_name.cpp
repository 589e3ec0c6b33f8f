// Names of temporary files beside the file they stand for (see output_file.h).
#include <algorithm>

#include "writer/output_file.h"

namespace vrgdi32 {

std::string TemporaryName(const std::string& directory, const std::string& name, uint64_t bits,
                          std::size_t longestPath) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr std::size_t kLongestName = 255;
    constexpr std::size_t kAdded = 8;  // two dots and six letters
    if (directory.size() + kAdded > longestPath) return {};
    const std::size_t kept =
        std::min({name.size(), kLongestName - kAdded, longestPath - directory.size() - kAdded});
    std::string temporary = directory + "." + name.substr(0, kept) + ".";
    for (int i = 0; i < 6; ++i, bits /= 62) temporary.push_back(kLetters[bits % 62]);
    return temporary;
}

}  // namespace vrgdi32
