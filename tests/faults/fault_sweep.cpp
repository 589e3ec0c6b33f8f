// Fails every allocation and every write of an import, one at a time, for each entry point
// and a few inputs (GetFileInfo reads through the same streams as ImportGR). Whatever fails,
// the call gives a failure code and no picture (or, when the failure was absorbed, exactly
// the picture of an undisturbed run), leaves no memory block, lock, metafile or descriptor
// behind, and leaves no half-written file: a named output and a profile hold either their
// old bytes or the complete new ones. The sweep runs again as a user who may not write the
// scratch folder, through the ways taken then.
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

int CountEntries(const std::string& directory) {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

// Files in the scratch folder and the sweep's own $TMPDIR.
int Entries() {
    return CountEntries(g_dir) + (g_tmp.empty() ? 0 : CountEntries(g_tmp));
}

// What one call gave: success, and the bytes that make its picture comparable.
struct Outcome {
    bool ok = false;
    std::string bytes;
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

// ImportGR / ImportCB, reading as `via` says; a failure must come without a picture.
template <Via via>
Outcome Import(bool* broken) {
    static SourceSpec source;
    source = SourceSpec{};
    const std::string out = g_dir + "/out.emf";
    HGLOBAL memory = via == Via::kMemory ? GlobalAlloc(GHND, g_input.size()) : nullptr;
    if (memory != nullptr) std::memcpy(GlobalLock(memory), g_input.data(), g_input.size());
    if (memory != nullptr) GlobalUnlock(memory);
    source.memory = memory;
    if (via == Via::kFileAsWmf || via == Via::kDescriptor)
        std::snprintf(source.path, sizeof source.path, "%s/input.xpm", g_dir.c_str());
    const int fd = via == Via::kDescriptor
                       ? open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)
                       : -1;
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
    if (memory != nullptr) GlobalFree(memory);
    if (fd >= 0) close(fd);
    if (code != 0 && result.picture != nullptr) *broken = true;
    if (via == Via::kFileAsWmf && result.picture != nullptr &&
        GetObjectType(result.picture) != OBJ_METAFILE)
        *broken = true;
    Outcome outcome{code == 0,
                    result.picture != nullptr ? TakePicture(result.picture) : ReadFile(out)};
    unlink(out.c_str());
    return outcome;
}

// ImportFile with an output name, as a host that builds its own request does. The target
// holds older bytes that only a complete picture may replace.
Outcome ToNamedFile(bool* broken) {
    const std::string target = g_dir + "/named.emf", input = g_dir + "/input.xpm";
    WriteFile(target, "older picture");
    const int entries = Entries();
    HostRequest host;
    ImportRequest& request = host.request;
    StatusSink& sink = host.sink;
    int32_t outcome = 27, job = 0;
    xpmfault::Resume();
    request.optionSet = OptionSetCreate(0, 0, 0, 0);
    request.setup =
        request.optionSet == nullptr ? nullptr : CreateSetup(nullptr, nullptr, nullptr, nullptr);
    if (request.setup != nullptr)
        sink.userData =
            ImportJobBegin(nullptr, "sweep", input.c_str(), 0, QVTGetFilterVersion(), 0);
    // A host that cannot begin a job does not import.
    // Such a host learns the outcome from ImportFile; the job may also hold a failure that the
    // import went on after (a palette it could not make).
    if (sink.userData != 0) {
        outcome = ImportFile(0, target.c_str(), host.empty, input.c_str(), &request);
        job = ImportJobEnd(sink.userData);
    }
    xpmfault::Pause();
    if (request.setup != nullptr) DestroySetup(request.setup);
    if (request.optionSet != nullptr) GlobalFree(request.optionSet);
    // A named output comes back as a handle too: exactly when ImportFile says it was made.
    if ((sink.dataHandle != 0) != (outcome == 0)) *broken = true;
    if (sink.dataHandle != 0) (void)TakePicture(reinterpret_cast<void*>(sink.dataHandle));
    Outcome out{outcome == 0, ReadFile(target), outcome == 0 && job != 0};
    if (out.ok == (out.bytes == "older picture") || Entries() != entries) *broken = true;
    unlink(target.c_str());
    return out;
}

// Colour mode 2 written to a profile that says 0: the file must say one or the other, and no
// recovery copy may stay behind.
Outcome ProfileWrite(bool* broken) {
    const std::string path = g_dir + "/sweep.ini";
    const std::string older =
        "[rondo]\r\n~Mode=XPM\r\n[XPM]\r\nDriver=x.drv\r\nColor Mode=0\r\n; kept\r\n";
    WriteFile(path, older);
    const int entries = Entries();
    xpmfault::Resume();
    HGLOBAL setup = CreateSetup(nullptr, path.c_str(), nullptr, nullptr);
    uint32_t mode = 2;
    if (setup != nullptr) EscapeSetup(setup, 55, 4, &mode, nullptr, 1);
    if (setup != nullptr) DestroySetup(setup);
    xpmfault::Pause();
    const std::string after = ReadFile(path);
    if ((after != older && after.find("Color Mode=2") == std::string::npos) || Entries() != entries)
        *broken = true;
    return {setup != nullptr, {}};
}

struct Entry {
    const char* name;
    Outcome (*run)(bool* broken);
    bool writes;
};
// clang-format off
const Entry kEntries[] = {
    {.name = "ImportGR from memory", .run = Import<Via::kMemory>, .writes = false},
    {.name = "ImportGR from a file, WMF", .run = Import<Via::kFileAsWmf>, .writes = false},
    {.name = "ImportGR to a descriptor", .run = Import<Via::kDescriptor>, .writes = true},
    {.name = "ImportCB through a routine", .run = Import<Via::kRoutine>, .writes = true},
    {.name = "ImportFile to a named file", .run = ToNamedFile, .writes = true},
    {.name = "CreateSetup and EscapeSetup 55", .run = ProfileWrite, .writes = true},
};
// clang-format on

// Two bands of 100 colours, one of them "None" and one a spaced name.
std::string Bands() {
    xpmtest::XpmPattern bands = xpmtest::MakePattern(
        {.width = 40, .height = 140, .colors = 100, .charsPerPixel = 2, .seed = 0});
    bands.strings[1] = xpmtest::PixelCode(0, 2) + " c None";
    bands.strings[2] = xpmtest::PixelCode(1, 2) + " c navy blue";
    return bands.File();
}

// Sweeps each entry over each input; each finding fails the test (three at most a sweep).
void SweepEntries(std::span<const Entry> entries) {
    static const std::pair<const char*, std::string> inputs[] = {
        {"tiny", xpmtest::XpmFile({"3 2 2 1", "a c #FF0000", "b c None", "aba", "bab"})},
        {"two bands of 100 colours", Bands()},
        {"cut short", Bands().substr(0, 3000)},
    };
    struct Sweep {
        Kind kind;
        WriteFault fault;
        const char* name;
    };
    // clang-format off
    static const Sweep sweeps[] = {
        {.kind = Kind::kAllocation, .fault = WriteFault::kNoSpace, .name = "allocation"},
        {.kind = Kind::kWrite, .fault = WriteFault::kNoSpace, .name = "write ENOSPC"},
        {.kind = Kind::kWrite, .fault = WriteFault::kIo, .name = "write EIO"},
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
            bool broken = false;
            xpmfault::StartCounting();
            const Outcome reference = entry.run(&broken);
            EXPECT_GT(xpmfault::Seen(Kind::kAllocation), 0u) << entry.name << ": nothing to fail";
            for (const Sweep& sweep : sweeps) {
                if (sweep.kind == Kind::kWrite && !entry.writes) continue;
                int reported = 0;
                for (unsigned long long n = 0;; ++n) {
                    xpmfault::Arm(sweep.kind, n, sweep.fault);
                    broken = false;
                    bool threw = false;
                    Outcome got;
                    try {
                        got = entry.run(&broken);
                    } catch (...) {
                        xpmfault::Pause();
                        threw = true;  // an exception crossed an exported call
                    }
                    const bool fired = xpmfault::Disarm();
                    const WinshimCounts now = WinshimGetCounts();
                    const int nowDescriptors = CountEntries("/proc/self/fd");
                    const char* fault =
                        threw    ? "let an exception out"
                        : broken ? "left a picture with a failure, a changed file or a stray file"
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

class FaultSweep : public testing::Test {
  protected:
    void SetUp() override {
        xpmfuzz::EnsureModuleReady();
        g_dir = scratch_.path();
        g_tmp.clear();
    }
    xpmtest::TempDir scratch_{"xpm-fault-sweep"};
};

TEST_F(FaultSweep, EveryEntryFailsCleanlyOrGivesThePicture) {
    SweepEntries(kEntries);
}

// A profile write that fails (saving the recovery copy, or writing in place) says why: a full
// disk, or any other write fault; the file keeps its bytes.
TEST_F(FaultSweep, AFailedProfileWriteSaysWhy) {
    const std::string profile = g_dir + "/errors.ini";
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

// Again as a user who may not write the scratch folder (root writes anywhere): the named
// output is then rewritten in place and the profile's recovery copy goes to $TMPDIR, and
// those ways must hold under the same faults. $TMPDIR is a folder of the sweep's, so that a
// copy left there is found too.
TEST_F(FaultSweep, AUserWhoMayNotWriteTheFolderGetsTheSame) {
    const bool root = geteuid() == 0;
    g_tmp = scratch_.file("tmp");
    g_dir = scratch_.file("locked");
    mkdir(g_dir.c_str(), 0755);
    mkdir(g_tmp.c_str(), 0700);
    setenv("TMPDIR", g_tmp.c_str(), 1);
    for (const std::string& name :
         {g_tmp, g_dir + "/input.xpm", g_dir + "/named.emf", g_dir + "/sweep.ini"}) {
        if (name != g_tmp) WriteFile(name, "");
        if (root) (void)chown(name.c_str(), xpmtest::kNobody, xpmtest::kNobody);
    }
    chmod(g_dir.c_str(), 0555);
    xpmtest::ExpectInChild([] { SweepEntries(std::span(kEntries).subspan(4)); }, true,
                           "the sweep in a folder the user may not write");
    unsetenv("TMPDIR");
}

}  // namespace
