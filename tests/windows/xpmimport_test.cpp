// xpmimport.exe as a Windows user runs it: each row runs it on a patterned picture in a
// directory of its own and checks its exit status, that the directory then holds the
// picture and nothing else (no temporary file), and the picture itself as GDI plays it back.
// same_pictures.sh compares its pictures byte for byte with the Linux xpmimport's.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "playback.h"
#include "temp_dir.h"
#include "winshim/winshim.h"

namespace {

using xpmtest::ReadFile;

std::string BinDirectory() {
    char path[MAX_PATH] = {};
    const std::string self(path, ::GetModuleFileNameA(nullptr, path, sizeof path));
    return self.substr(0, self.find_last_of("\\/"));
}

struct RunResult {
    DWORD status = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Runs xpmimport.exe in directory with the arguments, standard input from stdinPath (or
// none), standard output and error to files beside the directory.
RunResult RunXpmimport(const std::string& directory, const std::string& arguments,
                       const std::string& stdinPath) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    auto open = [&](const std::string& path, bool write) {
        return ::CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ,
                             &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    };
    const HANDLE in = open(stdinPath.empty() ? "NUL" : stdinPath, false);
    const HANDLE out = open(directory + ".out", true);
    const HANDLE err = open(directory + ".err", true);
    STARTUPINFOA startup{.cb = sizeof startup,
                         .dwFlags = STARTF_USESTDHANDLES,
                         .hStdInput = in,
                         .hStdOutput = out,
                         .hStdError = err};
    std::string line = "\"" + BinDirectory() + "\\xpmimport.exe\" " + arguments;
    PROCESS_INFORMATION process{};
    RunResult run;
    if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         directory.c_str(), &startup, &process)) {
        if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process.hProcess, &run.status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    for (HANDLE handle : {in, out, err}) ::CloseHandle(handle);
    run.out = ReadFile(directory + ".out");
    run.err = ReadFile(directory + ".err");
    return run;
}

struct Case {
    const char* name;
    std::string options;      // after the input ("-o -": the picture to standard output)
    std::string output = "";  // the picture file it writes
    bool windowsMetafile = false;
    const char* text = nullptr;  // the input, when not the pattern
    DWORD status = 0;
    const char* stderrSays = "";  // a part of the message
};

TEST(Xpmimport, ConvertsAsGdiPlaysItBack) {
    const char* cutShort =
        "/* XPM */\nstatic char *p[] = {\n\"4 4 1 1\",\n\". c red\",\n\"....\",\n";
    // clang-format off
    const Case cases[] = {
        {.name = "emf over an older file", .options = "-o out.emf", .output = "out.emf"},
        {.name = "wmf over an older file", .options = "-o out.wmf", .output = "out.wmf", .windowsMetafile = true},
        {.name = "wmf by --format", .options = "--format wmf -o out.bin", .output = "out.bin", .windowsMetafile = true},
        {.name = "into a new directory", .options = "-d pictures", .output = "pictures\\in.emf"},
        {.name = "standard streams", .options = "-o -"},
        {.name = "info", .options = "--info"},
        {.name = "not xpm", .options = "-o out.emf", .text = "a note, not a picture\n", .status = 1, .stderrSays = "not an XPM file"},
        {.name = "cut short", .options = "-o out.emf", .text = cutShort, .status = 1},
        {.name = "png", .options = "-o out.png", .output = "out.png"},
    };
    // clang-format on
    // Several bands, two characters a pixel.
    const xpmtest::PatternShape shape{
        .width = 203, .height = 150, .colors = 40, .charsPerPixel = 2};
    xpmtest::TempDir root("xpmimport-test");
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = std::to_string(index++);
        const std::string directory =
            std::filesystem::path(root.file(name)).make_preferred().string();
        ASSERT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr)) << directory;
        const std::string input =
            root.Write("in.xpm", c.text != nullptr ? c.text : xpmtest::MakePattern(shape).File());
        // An older file in the way, which only the whole picture replaces.
        const size_t separator = c.output.find('\\');
        if (!c.output.empty() && separator == std::string::npos)
            xpmtest::WriteFile(directory + "\\" + c.output, "an older file");
        const bool streams = c.options == "-o -";
        const RunResult run = RunXpmimport(
            directory, (streams ? std::string("-") : "\"" + input + "\"") + " " + c.options,
            streams ? input : "");
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.stderrSays), std::string::npos) << run.err;
        // The picture and nothing else (a subfolder holds the picture alone).
        const std::set<std::string> none, top{c.output.substr(0, separator)};
        EXPECT_EQ(root.Names(name), c.output.empty() ? none : top);
        if (separator != std::string::npos) {
            EXPECT_EQ(root.Names(name + "/" + *top.begin()),
                      std::set<std::string>{c.output.substr(separator + 1)});
        }
        const std::string written = streams ? run.out : ReadFile(directory + "\\" + c.output);
        if (c.output.ends_with(".png")) {
            EXPECT_EQ(written.substr(0, 8), "\x89PNG\r\n\x1a\n");
        } else if (c.options == "--info") {
            EXPECT_EQ(run.out, input + ": " + std::to_string(shape.width) + " x " +
                                   std::to_string(shape.height) + "\n");
        } else if (c.status == 0) {
            EXPECT_EQ(windows_test::FilePlaysBack(written, c.windowsMetafile, shape), "");
        }
    }
}

}  // namespace
