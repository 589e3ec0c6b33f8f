// Fails every allocation and every write of each entry point, one at a time, over a few inputs.
// Whatever fails, the call lets no exception out and gives a failure code and no picture, or
// exactly the picture of an undisturbed run (a short write is no failure: the call goes on);
// it leaves no memory block, lock, metafile, descriptor or stray file behind, and a named output
// or a profile holds its old bytes or the complete new ones (else a copy of the old stays). The
// sweep runs again as a user who may not write the scratch folder, through the ways taken then.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "fault_hooks.h"
#include "fuzz_support.h"
#include "host_request.h"
#include "temp_dir.h"
#include "testing/live_counts.h"
#include "vrgdi32/vrgdi32.h"
#include "xpm_text.h"
#include "xpmfilter/xpmfilter.h"

namespace {

using xpmfault::Kind;
using xpmfault::WriteFault;
using xpmtest::ReadFile;
using xpmtest::WriteFile;

std::string g_dir;  // scratch folder of this run
std::string g_tmp;  // $TMPDIR, when it is the sweep's own
std::string g_input;
WriteFault g_fault = WriteFault::kNoSpace;  // how the sweep under way fails writes

int CountEntries(const std::string& directory) {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

// Files in the scratch folder and the sweep's own $TMPDIR.
int Files() {
    return CountEntries(g_dir) + (g_tmp.empty() ? 0 : CountEntries(g_tmp));
}

// What one call gave: success, the bytes of its picture, and what it broke (null: nothing).
struct Outcome {
    bool ok = false;
    std::string bytes;
    const char* broke = nullptr;
    bool degraded = false;  // made its picture after a reported failure (a palette left out)
};

std::string TakePicture(void* picture) {
    const bool enhanced = GetObjectType(picture) == OBJ_ENHMETAFILE;
    std::string bytes(
        enhanced ? GetEnhMetaFileBits(picture, 0, nullptr) : GetMetaFileBitsEx(picture, 0, nullptr),
        '\0');
    const auto size = static_cast<UINT>(bytes.size());
    if (enhanced)
        GetEnhMetaFileBits(picture, size, reinterpret_cast<BYTE*>(bytes.data()));
    else
        GetMetaFileBitsEx(picture, size, bytes.data());
    (void)(enhanced ? DeleteEnhMetaFile(picture) : DeleteMetaFile(picture));
    return bytes;
}

// A routine that cannot tell its size and delivers at most 7 bytes a call.
int32_t ReadChunk(uint64_t userData, void* buffer, int32_t count) {
    auto* position = reinterpret_cast<size_t*>(userData);
    if (buffer == nullptr) return -1;
    const size_t n = std::min<size_t>({g_input.size() - *position, static_cast<size_t>(count), 7});
    std::memcpy(buffer, g_input.data() + *position, n);
    *position += n;
    return static_cast<int32_t>(n);
}

enum class Via { kMemory, kFileAsWmf, kDescriptor, kRoutine };

// ImportCB (ImportGR without the routine), reading as `via` says.
template <Via via>
Outcome Import() {
    SourceSpec source{};
    const std::string out = g_dir + "/out.emf";
    if (via == Via::kMemory) {
        source.memory = GlobalAlloc(GHND, g_input.size());
        std::memcpy(GlobalLock(source.memory), g_input.data(), g_input.size());
        GlobalUnlock(source.memory);
    }
    if (via == Via::kFileAsWmf || via == Via::kDescriptor)
        std::snprintf(source.path, sizeof source.path, "%s/input.xpm", g_dir.c_str());
    const int fd =
        via == Via::kDescriptor ? open(out.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
    VrHostHooks hooks{.size = sizeof hooks,
                      .metafileKind = via == Via::kFileAsWmf ? 1u : 0u,
                      .flags = via == Via::kDescriptor ? uint32_t{kVrHookOutputFd} : 0u,
                      .outputFd = fd};
    size_t position = 0;
    PictureResult result{};
    xpmfault::Resume();
    const uint32_t code =
        ImportCB(&hooks, &source, &result, nullptr, reinterpret_cast<uint64_t>(&position),
                 via == Via::kRoutine ? ReadChunk : nullptr);
    xpmfault::Pause();
    if (source.memory != nullptr) GlobalFree(source.memory);
    if (fd >= 0) close(fd);
    const bool wmf = result.picture == nullptr || GetObjectType(result.picture) == OBJ_METAFILE;
    Outcome outcome{code == 0,
                    result.picture != nullptr ? TakePicture(result.picture) : ReadFile(out)};
    if (code != 0 && result.picture != nullptr) outcome.broke = "a picture with a failure";
    if (via == Via::kFileAsWmf && !wmf) outcome.broke = "an enhanced metafile for WMF";
    unlink(out.c_str());
    return outcome;
}

// ImportFile to a named output, as a host that builds its own request does; the target holds
// older bytes that only a complete picture may replace.
Outcome ToNamedFile() {
    const std::string target = g_dir + "/named.emf", input = g_dir + "/input.xpm";
    WriteFile(target, "older picture");
    const int files = Files();
    HostRequest host;
    ImportRequest& request = host.request;
    int32_t code = 27, job = 0;
    xpmfault::Resume();
    request.optionSet = OptionSetCreate(0, 0, 0, 0);
    request.setup =
        request.optionSet == nullptr ? nullptr : CreateSetup(nullptr, nullptr, nullptr, nullptr);
    if (request.setup != nullptr)
        host.sink.userData =
            ImportJobBegin(nullptr, "sweep", input.c_str(), 0, QVTGetFilterVersion(), 0);
    // A host that cannot begin a job does not import. The job may hold a failure the import
    // went on after (a palette it could not make).
    if (host.sink.userData != 0) {
        code = ImportFile(0, target.c_str(), host.empty, input.c_str(), &request);
        job = ImportJobEnd(host.sink.userData);
    }
    xpmfault::Pause();
    if (request.setup != nullptr) DestroySetup(request.setup);
    if (request.optionSet != nullptr) GlobalFree(request.optionSet);
    const bool handed = host.sink.dataHandle != 0;  // exactly when ImportFile says it made one
    if (handed) (void)TakePicture(reinterpret_cast<void*>(host.sink.dataHandle));
    Outcome out{code == 0, ReadFile(target), nullptr, code == 0 && job != 0};
    // A rewrite in place that could not put the old bytes back leaves them in $TMPDIR.
    const bool torn = !out.ok && out.bytes != "older picture";
    std::error_code none;  // no $TMPDIR of the sweep's own
    std::string copy;
    for (const auto& entry : std::filesystem::directory_iterator(torn ? g_tmp : "", none)) {
        copy = ReadFile(entry.path());
        std::filesystem::remove(entry);
    }
    if (handed != out.ok || (out.ok && out.bytes == "older picture") ||
        copy != (torn ? "older picture" : ""))
        out.broke = "a picture, a code and a copy of the old one that disagree";
    if (Files() != files) out.broke = "a stray file";
    unlink(target.c_str());
    return out;
}

// Colour mode 2 written to a profile that says 0: the file says one or the other, and no
// recovery copy stays behind.
Outcome ProfileWrite() {
    const std::string path = g_dir + "/sweep.ini";
    const std::string older =
        "[rondo]\r\n~Mode=XPM\r\n[XPM]\r\nDriver=x.drv\r\nColor Mode=0\r\n; kept\r\n";
    WriteFile(path, older);
    const int files = Files();
    xpmfault::Resume();
    HGLOBAL setup = CreateSetup(nullptr, path.c_str(), nullptr, nullptr);
    uint32_t mode = 2;
    if (setup != nullptr) EscapeSetup(setup, 55, 4, &mode, nullptr, 1);
    if (setup != nullptr) DestroySetup(setup);
    xpmfault::Pause();
    const std::string after = ReadFile(path);
    Outcome out{setup != nullptr, {}};
    if (after != older && after.find("Color Mode=2") == std::string::npos)
        out.broke = "a torn file";
    // A write that could not undo itself on a full disk leaves its copy, for the next reader.
    if (after == older && g_fault == WriteFault::kPartway) unlink((path + ".~undo").c_str());
    if (Files() != files) out.broke = "a stray file";
    return out;
}

struct Entry {
    const char* name;
    Outcome (*run)();
};
// clang-format off
const Entry kEntries[] = {
    {.name = "ImportGR from memory", .run = Import<Via::kMemory>},
    {.name = "ImportGR from a file, WMF", .run = Import<Via::kFileAsWmf>},
    {.name = "ImportGR to a descriptor", .run = Import<Via::kDescriptor>},
    {.name = "ImportCB through a routine", .run = Import<Via::kRoutine>},
    {.name = "ImportFile to a named file", .run = ToNamedFile},
    {.name = "CreateSetup and EscapeSetup 55", .run = ProfileWrite},
};
// clang-format on

// Sweeps each entry over each input; each finding fails the test (three at most a sweep).
void SweepEntries(std::span<const Entry> entries) {
    // Two bands of 100 colours, one of them "None" and one a spaced name; and the same cut short.
    xpmtest::XpmPattern bands = xpmtest::MakePattern(
        {.width = 40, .height = 140, .colors = 100, .charsPerPixel = 2, .seed = 0});
    bands.strings[1] = xpmtest::PixelCode(0, 2) + " c None";
    bands.strings[2] = xpmtest::PixelCode(1, 2) + " c navy blue";
    const std::pair<const char*, std::string> inputs[] = {
        {"tiny", xpmtest::XpmFile({"3 2 2 1", "a c #FF0000", "b c None", "aba", "bab"})},
        {"two bands of 100 colours", bands.File()},
        {"cut short", bands.File().substr(0, 3000)},
    };
    struct Sweep {
        Kind kind;
        WriteFault fault;
        const char* name;
    };
    // A write failing with EIO rather than ENOSPC only changes the code reported, which is
    // checked where the errors are mapped.
    // clang-format off
    const Sweep sweeps[] = {
        {.kind = Kind::kAllocation, .fault = WriteFault::kNoSpace, .name = "allocation"},
        {.kind = Kind::kWrite, .fault = WriteFault::kNoSpace, .name = "write ENOSPC"},
        {.kind = Kind::kWrite, .fault = WriteFault::kPartway, .name = "part, then ENOSPC"},
        {.kind = Kind::kWrite, .fault = WriteFault::kShort, .name = "short write"},
    };
    // clang-format on
    for (const Entry& entry : entries) {
        for (const auto& [inputName, text] : inputs) {
            g_input = text;
            WriteFile(g_dir + "/input.xpm", text);
            WinshimCounts counts = WinshimGetCounts();
            int descriptors = CountEntries("/proc/self/fd");
            xpmfault::StartCounting();
            const Outcome reference = entry.run();
            EXPECT_GT(xpmfault::Seen(Kind::kAllocation), 0u) << entry.name << ": nothing to fail";
            EXPECT_TRUE(reference.ok || std::strcmp(inputName, "cut short") == 0)
                << entry.name << ", input " << inputName << ": failed undisturbed";
            for (const Sweep& sweep : sweeps) {
                int reported = 0;
                g_fault = sweep.fault;
                for (unsigned long long n = 0;; ++n) {
                    xpmfault::Arm(sweep.kind, n, sweep.fault);
                    Outcome got{.broke = "let an exception out"};
                    try {
                        got = entry.run();
                    } catch (...) {
                        xpmfault::Pause();
                    }
                    const bool fired = xpmfault::Disarm();
                    const WinshimCounts now = WinshimGetCounts();
                    const int nowDescriptors = CountEntries("/proc/self/fd");
                    const char* fault =
                        got.broke != nullptr ? got.broke
                        : got.ok && !got.degraded && got.bytes != reference.bytes
                            ? "succeeded with another picture"
                        : std::memcmp(&counts, &now, sizeof now) != 0
                            ? "leaked a block, lock or metafile"
                        : nowDescriptors != descriptors ? "leaked a descriptor"
                        : sweep.fault == WriteFault::kShort && fired && reference.ok && !got.ok
                            ? "failed on a short write"
                            : nullptr;
                    if (fault != nullptr && ++reported <= 3)
                        ADD_FAILURE() << entry.name << ", input " << inputName << ", " << sweep.name
                                      << " failing point " << n << ": " << fault;
                    // One leak must not hide the next finding.
                    counts = now;
                    descriptors = nowDescriptors;
                    if (!fired) break;
                }
            }
        }
    }
}

TEST(FaultSweep, EveryEntryFailsCleanlyOrGivesThePicture) {
    xpmfuzz::EnsureModuleReady();
    xpmtest::TempDir scratch{"xpm-fault-sweep"};
    g_dir = scratch.path();
    SweepEntries(kEntries);
}

// A profile write that fails (saving the recovery copy, or writing in place) says why: a full
// disk, or any other write fault; the file keeps its bytes.
TEST(FaultSweep, AFailedProfileWriteSaysWhy) {
    xpmtest::TempDir scratch{"xpm-fault-sweep"};
    const std::string profile = scratch.file("errors.ini");
    struct Row {
        uint64_t n;
        WriteFault fault;
        DWORD error;
    };
    // clang-format off
    const Row rows[] = {
        {.n = 0, .fault = WriteFault::kNoSpace, .error = 112},  // ERROR_DISK_FULL
        {.n = 0, .fault = WriteFault::kIo, .error = 29},        // ERROR_WRITE_FAULT
        {.n = 1, .fault = WriteFault::kNoSpace, .error = 112},
        {.n = 1, .fault = WriteFault::kIo, .error = 29},
    };
    // clang-format on
    for (const Row& row : rows) {
        WriteFile(profile, "[a]\r\nk=old\r\n");
        xpmfault::Arm(Kind::kWrite, row.n, row.fault);
        xpmfault::Resume();
        const BOOL written = WritePrivateProfileStringA("a", "k", "new", profile.c_str());
        const DWORD got = GetLastError();
        xpmfault::Pause();
        xpmfault::Disarm();
        EXPECT_FALSE(written) << "write " << row.n << " failing";
        EXPECT_EQ(got, row.error) << "the error after write " << row.n << " failed";
        EXPECT_EQ(ReadFile(profile), "[a]\r\nk=old\r\n") << "write " << row.n << " failing";
    }
}

// As a user who may not write the folder (root writes anywhere), the named output is rewritten
// in place and the profile's recovery copy goes to $TMPDIR, a folder of the sweep's own so that
// a copy left there is found too.
TEST(FaultSweep, AUserWhoMayNotWriteTheFolderGetsTheSame) {
    xpmfuzz::EnsureModuleReady();
    xpmtest::TempDir scratch{"xpm-fault-sweep"};
    g_tmp = scratch.file("tmp");
    g_dir = scratch.file("locked");
    mkdir(g_dir.c_str(), 0755);
    mkdir(g_tmp.c_str(), 0700);
    setenv("TMPDIR", g_tmp.c_str(), 1);
    for (const std::string& name :
         {g_tmp, g_dir + "/input.xpm", g_dir + "/named.emf", g_dir + "/sweep.ini"}) {
        if (name != g_tmp) WriteFile(name, "");
        if (geteuid() == 0) (void)chown(name.c_str(), xpmtest::kNobody, xpmtest::kNobody);
    }
    chmod(g_dir.c_str(), 0555);
    xpmtest::ExpectInChild([] { SweepEntries(std::span(kEntries).subspan(4)); }, true,
                           "the sweep in a folder the user may not write");
    unsetenv("TMPDIR");
    g_tmp.clear();
}

}  // namespace
