// xpmimport.exe as a Windows user runs it: each row runs it on a bundled sample in a
// directory of its own and checks its exit status, that the directory then holds the
// picture and nothing else (no temporary file), and the picture itself: byte for byte the
// file that xpmfilter.dll's ImportGR writes of the same sample in this process.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "metafile_files.h"
#include "winshim/winshim.h"
#include "xpmfilter/xpmfilter.h"

namespace {

const std::string kSamples = XPMFILTER_SAMPLES_DIR;

std::string BinDirectory() {
    char path[MAX_PATH] = {};
    const std::string self(path, ::GetModuleFileNameA(nullptr, path, sizeof path));
    return self.substr(0, self.find_last_of("\\/"));
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// What the file holds once xpmimport wrote it, made in this process: the metafile that the
// library writes to a descriptor (a WMF with its placeable header, as a file has it).
struct Expected {
    std::vector<uint8_t> bits;
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
    VrHostHooks hooks{};
    hooks.size = sizeof hooks;
    hooks.metafileKind = windowsMetafile ? kVrMetafileWmf : kVrMetafileEmf;
    hooks.flags = kVrHookOutputFd;
    hooks.outputFd = fd;
    PictureResult result{};
    const bool imported =
        importGR != nullptr && importGR(&hooks, source.get(), &result, nullptr) == 0;
    ::_close(fd);
    if (imported) {
        expected.width = result.bounds[2] - result.bounds[0];
        expected.height = result.bounds[3] - result.bounds[1];
        expected.bits = ReadAll(scratch);
    }
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
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
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
    run.out = Text(ReadAll(directory + ".out"));
    run.err = Text(ReadAll(directory + ".err"));
    return run;
}

std::set<std::string> FilesIn(const std::string& directory) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found{};
    const HANDLE search = ::FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            names.insert(found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}

void RemoveTree(const std::string& path) {
    for (const std::string& name : FilesIn(path)) {
        const std::string child = path + "\\" + name;
        if (!::DeleteFileA(child.c_str())) RemoveTree(child);
    }
    ::RemoveDirectoryA(path.c_str());
}

enum class Output {
    kNone,      // nothing written
    kFile,      // the picture in the file `output`
    kStdout,    // the picture on standard output ("-" in, "-o -")
    kSizeLine,  // --info: "INPUT: W x H"
    kPng,       // a PNG file `output` (same_pictures.sh compares its pixels with Linux's)
};

struct Case {
    const char* name;
    const char* sample;  // in samples/; null: a file holding `text`
    const char* text;
    const char* options;  // after the input
    const char* output;   // the file it writes, or null
    bool windowsMetafile;
    DWORD status;
    Output expect;
    const char* stderrSays;  // a part of the message, or null
};

TEST(Xpmimport, ConvertsAsTheFilterImportsInProcess) {
    const Case cases[] = {
        {"emf", "smiley.xpm", nullptr, "-o out.emf", "out.emf", false, 0, Output::kFile, nullptr},
        {"emf, large", "sunset.xpm", nullptr, "-o out.emf", "out.emf", false, 0, Output::kFile,
         nullptr},
        {"wmf", "landscape.xpm", nullptr, "-o out.wmf", "out.wmf", true, 0, Output::kFile, nullptr},
        {"wmf, large", "sunset.xpm", nullptr, "--format wmf -o out.wmf", "out.wmf", true, 0,
         Output::kFile, nullptr},
        {"into a directory", "landscape.xpm", nullptr, "-d pictures", "pictures\\landscape.emf",
         false, 0, Output::kFile, nullptr},
        {"standard streams", "sunset.xpm", nullptr, "-o -", nullptr, false, 0, Output::kStdout,
         nullptr},
        {"info", "sunset.xpm", nullptr, "--info", nullptr, false, 0, Output::kSizeLine, nullptr},
        {"not xpm", nullptr, "a note, not a picture\n", "-o out.emf", nullptr, false, 1,
         Output::kNone, "not an XPM file"},
        {"cut short", nullptr,
         "/* XPM */\nstatic char *p[] = {\n\"4 4 1 1\",\n\". c red\",\n\"....\",\n", "-o out.emf",
         nullptr, false, 1, Output::kNone, nullptr},
        {"png", "smiley.xpm", nullptr, "-o out.png", "out.png", false, 0, Output::kPng, nullptr},
    };
    char temporary[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathA(sizeof temporary, temporary), 0u);
    const std::string root =
        std::string(temporary) + "xpmimport-test-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryA(root.c_str(), nullptr)) << root;
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string directory = root + "\\" + std::to_string(index++);
        ASSERT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr)) << directory;
        std::string input = c.sample != nullptr ? kSamples + "/" + c.sample : directory + ".txt";
        if (c.sample == nullptr) {
            FILE* text = std::fopen(input.c_str(), "wb");
            ASSERT_NE(text, nullptr);
            std::fputs(c.text, text);
            std::fclose(text);
        }
        if (c.output != nullptr && std::strchr(c.output, '\\') == nullptr) {
            // An older file in the way, which only the whole picture replaces.
            FILE* older = std::fopen((directory + "\\" + c.output).c_str(), "wb");
            ASSERT_NE(older, nullptr);
            std::fputs("an older file", older);
            std::fclose(older);
        }
        const bool streams = c.expect == Output::kStdout;
        const RunResult run = RunXpmimport(
            directory, (streams ? std::string("-") : "\"" + input + "\"") + " " + c.options,
            streams ? input : "");
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.stderrSays != nullptr) {
            EXPECT_NE(run.err.find(c.stderrSays), std::string::npos) << run.err;
        }

        std::set<std::string> left = FilesIn(directory);
        if (c.output != nullptr) {
            const std::string output = c.output;
            const size_t separator = output.find('\\');
            const std::string top = output.substr(0, separator);
            EXPECT_EQ(left.erase(top), 1u) << output << " was not written";
            if (separator != std::string::npos) {
                EXPECT_EQ(FilesIn(directory + "\\" + top),
                          std::set<std::string>{output.substr(separator + 1)});
            }
        }
        EXPECT_TRUE(left.empty()) << "left behind: " << *left.begin();

        const Expected expected = c.sample != nullptr
                                      ? ImportInProcess(input, c.windowsMetafile, directory + ".in")
                                      : Expected{};
        if (c.expect == Output::kFile || c.expect == Output::kStdout) {
            ASSERT_FALSE(expected.bits.empty())
                << "the filter did not import " << input << " in process";
            const std::vector<uint8_t> written =
                c.expect == Output::kFile ? ReadAll(directory + "\\" + c.output)
                                          : std::vector<uint8_t>(run.out.begin(), run.out.end());
            EXPECT_TRUE(written == expected.bits) << written.size() << " bytes written, "
                                                  << expected.bits.size() << " imported in process";
        }
        if (c.expect == Output::kPng) {
            const std::vector<uint8_t> png = ReadAll(directory + "\\" + c.output);
            EXPECT_EQ(std::string(png.begin(), png.begin() + std::min<size_t>(png.size(), 8)),
                      "\x89PNG\r\n\x1a\n");
        }
        if (c.expect == Output::kSizeLine) {
            ASSERT_GT(expected.width, 0);
            EXPECT_EQ(run.out, input + ": " + std::to_string(expected.width) + " x " +
                                   std::to_string(expected.height) + "\n");
        }
    }
    RemoveTree(root);
}

}  // namespace
