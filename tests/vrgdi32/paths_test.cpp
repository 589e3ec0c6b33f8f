// The two path operations: directory of a path (260 bytes at most, else none), and the bounded
// append that takes only the name from an absolute path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vrgdi32/vrgdi32.h"

namespace {

TEST(PathTest, DirectoryAndBoundedAppend) {
    const std::string fits = std::string(258, 'a') + "/x", over = std::string(259, 'a') + "/x";
    const std::pair<std::string, std::string> directories[] = {
        {"/usr/lib/libxpmfilter.so", "/usr/lib/"},
        {"/libxpmfilter.so", "/"},
        {"libxpmfilter.so", ""},
        {"", ""},
        {"dir/sub/", "dir/sub/"},
        {"C:\\WINDOWS\\SYSTEM\\FILTER.DLL", "C:\\WINDOWS\\SYSTEM\\"},
        {fits, fits.substr(0, 259)},
        {over, ""},
        {"/" + std::string(300, 'd') + "/name.ini", ""},
    };
    for (const auto& [path, want] : directories) {
        char out[261];
        PathGetDirectory(static_cast<char*>(std::memset(out, 'Z', sizeof out)), path.c_str());
        EXPECT_EQ(std::string(out) + out[260], want + 'Z')
            << "path of " << path.size() << " characters: " << path;
    }
    // roomLeft counts the bytes free after dest's text, its NUL included; the byte after stays.
    struct Case {
        const char *dest, *source;
        int32_t roomLeft;
        const char* want;
    };
    const Case appends[] = {
        {"/etc/", "libxpmfilter.INI", 20, "/etc/libxpmfilter.INI"},
        {"/etc\\", "/usr/lib/libxpmfilter.INI", 20, "/etc\\libxpmfilter.INI"},
        {"/opt/", "sub/dir/x.ini", 20, "/opt/sub/dir/x.ini"},
        {"/etc/", "abcdef", 4, "/etc/abc"},
        {"/etc/", "abcdef", 1, "/etc/"},
        {"/etc/", "abcdef", 0, "/etc/"},
        {"/etc/", "abcdef", -3, "/etc/"},
        {"", "A:\\WIN\\a.ini", 20, "a.ini"},
        {"", "Z:\\a.ini", 20, "a.ini"},
        {"", "a:/a.ini", 20, "a.ini"},
        {"", "z:/a.ini", 20, "a.ini"},
        {"", "C:a.ini", 20, "C:a.ini"},
        {"", "1:\\a.ini", 20, "1:\\a.ini"},
        {"a", "/dir/", 10, "a"},
        {"ab", nullptr, 10, "ab"},
        {"/etc/", "abcdef", 7, "/etc/abcdef"},
        {"/etc/", "abcdef", 6, "/etc/abcde"},
    };
    for (const Case& c : appends) {
        char dest[32];
        StrAppendBounded(
            std::strcpy(static_cast<char*>(std::memset(dest, 'Z', sizeof dest)), c.dest), c.source,
            c.roomLeft);
        const std::size_t end = std::strlen(c.dest) + (c.roomLeft > 0 ? c.roomLeft : 1);
        EXPECT_EQ(std::string(dest) + dest[end], std::string(c.want) + 'Z')
            << c.dest << " + " << (c.source ? c.source : "null") << ", room " << c.roomLeft;
    }
    char out[4] = "x";
    PathGetDirectory(out, nullptr);
    PathGetDirectory(nullptr, "/a/b");
    StrAppendBounded(nullptr, "x", 5);
    EXPECT_STREQ(out, "");
}

}  // namespace
