// xpmimport.exe as a Windows user runs it: each row runs it on a bundled sample in a
// directory of its own and checks its exit status, that the directory then holds the
// picture and nothing else (no temporary file), and the picture itself: byte for byte the
// file that xpmfilter.dll's ImportGR writes of the same sample in this process.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "winshim/winshim.h"
#include "xpmfilter/xpmfilter.h"

namespace {

using xpmtest::ReadFile;

const std::string kSamples = XPMFILTER_SAMPLES_DIR;

std::string BinDirectory() {
    char path[MAX_PATH] = {};
    const std::string self(path, ::GetModuleFileNameA(nullptr, path, sizeof path));
    return self.substr(0, self.find_last_of("\\/"));
}

// What the file holds once xpmimport wrote it, made in this process: the metafile that the
// library writes to a descriptor (a WMF with its placeable header, as a file has it).
struct Expected {
    std::string bytes;
    int32_t width = 0;
    int32_t height = 0;
};

Expected ImportInProcess(const std::string& input, bool windowsMetafile,
                         const std::string& scratch) {
    Expected expected;
    const HMODULE filter = ::LoadLibraryA((BinDirectory() + "\\xpmfilter.dll").c_str());
    const int fd = ::_open(scratch.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    if (filter == nullptr || fd < 0) return expected;
    const auto importGR = reinterpret_cast<decltype(&ImportGR)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(filter, "ImportGR")));
    auto source = std::make_unique<SourceSpec>();
    std::snprintf(source->path, sizeof source->path, "%s", input.c_str());
    VrHostHooks hooks{.size = sizeof hooks,
                      .metafileKind = windowsMetafile ? 1u : 0u,  // WMF : EMF
                      .flags = kVrHookOutputFd,
                      .outputFd = fd};
    PictureResult result{};
    const bool imported =
        importGR != nullptr && importGR(&hooks, source.get(), &result, nullptr) == 0;
    ::_close(fd);
    if (imported)
        expected = {ReadFile(scratch), result.bounds[2] - result.bounds[0],
                    result.bounds[3] - result.bounds[1]};
    ::DeleteFileA(scratch.c_str());
    ::FreeLibrary(filter);
    return expected;
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
    const char* sample = nullptr;  // in samples/; null: a file holding `text`
    const char* text = nullptr;
    std::string options;      // after the input ("-o -": the picture to standard output)
    std::string output = "";  // the picture file it writes
    bool windowsMetafile = false;
    DWORD status = 0;
    const char* stderrSays = "";  // a part of the message
};

TEST(Xpmimport, ConvertsAsTheFilterImportsInProcess) {
    const char* cutShort =
        "/* XPM */\nstatic char *p[] = {\n\"4 4 1 1\",\n\". c red\",\n\"....\",\n";
    // clang-format off
    const Case cases[] = {
        {.name = "emf", .sample = "smiley.xpm", .options = "-o out.emf", .output = "out.emf"},
        {.name = "emf, large", .sample = "sunset.xpm", .options = "-o out.emf", .output = "out.emf"},
        {.name = "wmf", .sample = "landscape.xpm", .options = "-o out.wmf", .output = "out.wmf", .windowsMetafile = true},
        {.name = "wmf, large", .sample = "sunset.xpm", .options = "--format wmf -o out.wmf", .output = "out.wmf", .windowsMetafile = true},
        {.name = "into a directory", .sample = "landscape.xpm", .options = "-d pictures", .output = "pictures\\landscape.emf"},
        {.name = "standard streams", .sample = "sunset.xpm", .options = "-o -"},
        {.name = "info", .sample = "sunset.xpm", .options = "--info"},
        {.name = "not xpm", .text = "a note, not a picture\n", .options = "-o out.emf", .status = 1, .stderrSays = "not an XPM file"},
        {.name = "cut short", .text = cutShort, .options = "-o out.emf", .status = 1},
        {.name = "png", .sample = "smiley.xpm", .options = "-o out.png", .output = "out.png"},
    };
    // clang-format on
    xpmtest::TempDir root("xpmimport-test");
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = std::to_string(index++);
        const std::string directory =
            std::filesystem::path(root.file(name)).make_preferred().string();
        ASSERT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr)) << directory;
        const std::string input =
            c.sample != nullptr ? kSamples + "/" + c.sample : root.Write(name + ".txt", c.text);
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
        if (c.sample == nullptr) continue;
        const Expected expected = ImportInProcess(input, c.windowsMetafile, directory + ".in");
        ASSERT_GT(expected.width, 0) << "the filter did not import " << input << " in process";
        const std::string written = streams ? run.out : ReadFile(directory + "\\" + c.output);
        if (c.output.ends_with(".png")) {
            EXPECT_EQ(written.substr(0, 8), "\x89PNG\r\n\x1a\n");
        } else if (c.options == "--info") {
            EXPECT_EQ(run.out, input + ": " + std::to_string(expected.width) + " x " +
                                   std::to_string(expected.height) + "\n");
        } else {
            EXPECT_TRUE(written == expected.bytes)
                << written.size() << " bytes written, " << expected.bytes.size()
                << " imported in process";
        }
    }
}

}  // namespace
