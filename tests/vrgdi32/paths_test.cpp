// The two path operations: directory of a path, and the bounded append.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vrgdi32/vrgdi32.h"

namespace {

TEST(PathTest, DirectoryOfAPath) {
    struct Case {
        const char* path;
        const char* want;
    };
    const std::string deep = "/" + std::string(300, 'd') + "/name.ini";
    const std::string longest = std::string(258, 'a') + "/x";  // directory of 259 characters
    const Case cases[] = {
        {"/usr/lib/libxpmfilter.so", "/usr/lib/"},
        {"/libxpmfilter.so", "/"},
        {"libxpmfilter.so", ""},
        {"", ""},
        {"dir/sub/", "dir/sub/"},
        {"C:\\WINDOWS\\SYSTEM\\FILTER.DLL", "C:\\WINDOWS\\SYSTEM\\"},
        {deep.c_str(), ""},
        {longest.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        char out[261];
        std::memset(out, 'Z', sizeof out);
        PathGetDirectory(out, c.path);
        const std::string want = c.want != nullptr ? c.want : longest.substr(0, 259);
        EXPECT_EQ(std::string(out), want) << "path of " << std::strlen(c.path) << " chars: " << c.path;
        EXPECT_EQ(out[260], 'Z') << "wrote past 260 bytes for " << c.path;
    }
    char out[260] = "x";
    PathGetDirectory(out, nullptr);
    EXPECT_STREQ(out, "");
}

TEST(PathTest, BoundedAppend) {
    struct Case {
        const char* dest;
        const char* source;
        int32_t roomLeft;
        const char* want;
    };
    const Case cases[] = {
        {"/etc/", "libxpmfilter.INI", 100, "/etc/libxpmfilter.INI"},
        {"/etc\\", "/usr/lib/libxpmfilter.INI", 100, "/etc\\libxpmfilter.INI"},
        {"/opt/", "sub/dir/x.ini", 100, "/opt/sub/dir/x.ini"},
        {"/etc/", "abcdef", 4, "/etc/abc"},
        {"/etc/", "abcdef", 1, "/etc/"},
        {"/etc/", "abcdef", 0, "/etc/"},
        {"/etc/", "abcdef", -3, "/etc/"},
        {"", "C:\\WIN\\a.ini", 50, "a.ini"},
        {"a", "/dir/", 10, "a"},
    };
    for (const Case& c : cases) {
        char dest[64];
        std::memset(dest, 'Z', sizeof dest);
        std::strcpy(dest, c.dest);
        StrAppendBounded(dest, c.source, c.roomLeft);
        EXPECT_STREQ(dest, c.want) << "append " << c.source << " to " << c.dest << " with room " << c.roomLeft;
        const std::size_t limit = std::strlen(c.dest) + (c.roomLeft > 0 ? c.roomLeft : 1);
        if (limit < sizeof dest) {
            EXPECT_EQ(dest[limit], 'Z') << "wrote past the room for " << c.source;
        }
    }
    char dest[8] = "ab";
    StrAppendBounded(dest, nullptr, 5);
    StrAppendBounded(nullptr, "x", 5);
    EXPECT_STREQ(dest, "ab");
}

}  // namespace
