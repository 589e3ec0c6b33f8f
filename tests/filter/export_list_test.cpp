// The shipped module exports exactly the twelve calls hosts use, and nothing else.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(ExportList, ModuleExportsExactlyTheTwelveCalls) {
    const char* buildDir = std::getenv("XPMFILTER_BUILD_DIR");
    ASSERT_NE(buildDir, nullptr) << "XPMFILTER_BUILD_DIR is not set";
    const std::string module = std::string(buildDir) + "/lib/libxpmfilter.so";
    const std::string command = "nm -D --defined-only '" + module + "' 2>&1";

    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr) << command;
    std::string output;
    std::array<char, 512> chunk;
    while (size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) output.append(chunk.data(), n);
    const int status = pclose(pipe);
    ASSERT_EQ(status, 0) << command << ":\n" << output;

    // Lines are "address type name"; a versioned name carries "@VERSION".
    std::set<std::string> got;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        got.insert(name.substr(0, name.find('@')));
    }
    const std::set<std::string> want = {
        "CreateSetup",  "DestroySetup",  "EditSetup",        "EscapeSetup",
        "GetFileInfo",  "GetFilterInfo", "GetFilterPref",    "ImportCB",
        "ImportEmbeddedGR", "ImportFile", "ImportGR",        "QVTGetFilterVersion",
    };
    for (const std::string& name : want)
        EXPECT_TRUE(got.count(name)) << "missing export " << name;
    for (const std::string& name : got)
        EXPECT_TRUE(want.count(name)) << "unexpected export " << name;
}

}  // namespace
