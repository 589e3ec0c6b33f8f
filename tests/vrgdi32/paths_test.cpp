// The two path operations: directory of a path (260 bytes at most, else none), and the bounded
// append that takes only the name from an absolute path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "vrgdi32/vrgdi32.h"

namespace {

TEST(PathTest, DirectoryOfAPath) {
    const std::string fits = std::string(258, 'a') + "/x", over = std::string(259, 'a') + "/x";
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/lib/libxpmfilter.so", "/usr/lib/"}, {"/libxpmfilter.so", "/"}, {"libxpmfilter.so", ""}, {"", ""},
        {"dir/sub/", "dir/sub/"}, {"C:\\WINDOWS\\SYSTEM\\FILTER.DLL", "C:\\WINDOWS\\SYSTEM\\"},
        {fits, fits.substr(0, 259)}, {over, ""}, {"/" + std::string(300, 'd') + "/name.ini", ""},
    };
    for (const auto& [path, want] : cases) {
        char out[261];
        std::memset(out, 'Z', sizeof out);
        PathGetDirectory(out, path.c_str());
        EXPECT_EQ(std::string(out), want) << "path of " << path.size() << " characters: " << path;
        EXPECT_EQ(out[260], 'Z') << "wrote past 260 bytes for " << path;
    }
    char out[4] = "x";
    PathGetDirectory(out, nullptr);
    PathGetDirectory(nullptr, "/a/b");
    EXPECT_STREQ(out, "");
}

TEST(PathTest, BoundedAppend) {
    struct Case { const char *dest, *source; int32_t roomLeft; const char* want; };
    const Case cases[] = {
        {"/etc/", "libxpmfilter.INI", 100, "/etc/libxpmfilter.INI"}, {"/etc\\", "/usr/lib/libxpmfilter.INI", 100, "/etc\\libxpmfilter.INI"},
        {"/opt/", "sub/dir/x.ini", 100, "/opt/sub/dir/x.ini"}, {"/etc/", "abcdef", 4, "/etc/abc"}, {"/etc/", "abcdef", 1, "/etc/"},
        {"/etc/", "abcdef", 0, "/etc/"}, {"/etc/", "abcdef", -3, "/etc/"}, {"", "C:\\WIN\\a.ini", 50, "a.ini"},
        {"", "c:/a.ini", 50, "a.ini"}, {"", "C:a.ini", 50, "C:a.ini"}, {"", "1:\\a.ini", 50, "1:\\a.ini"}, {"a", "/dir/", 10, "a"},
        {"ab", nullptr, 10, "ab"},
    };
    for (const Case& c : cases) {
        char dest[32];
        std::memset(dest, 'Z', sizeof dest);
        std::strcpy(dest, c.dest);
        StrAppendBounded(dest, c.source, c.roomLeft);
        // The room ends after roomLeft bytes (at least the NUL's): the next byte stays as it was.
        EXPECT_EQ(std::string(dest), c.want) << "append " << (c.source ? c.source : "null") << " to " << c.dest << ", room " << c.roomLeft;
        EXPECT_TRUE(c.roomLeft > 20 || dest[std::strlen(c.dest) + std::max(c.roomLeft, 1)] == 'Z') << c.dest << ", room " << c.roomLeft;
    }
    StrAppendBounded(nullptr, "x", 5);
}

}  // namespace
