// Fails every allocation and every write of an import, one at a time, for each entry point
// and a few inputs (GetFileInfo reads through the same streams as ImportGR). Whatever fails,
// the call gives a failure code and no picture (or, when the failure was absorbed, exactly
// the picture of an undisturbed run), leaves no memory block, lock, metafile or descriptor
// behind, and leaves no half-written file: a named output and a profile hold either their
// old bytes or the complete new ones. The sweep runs again as a user who may not write the
// scratch folder, through the ways taken then.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include "fault_hooks.h"
#include "fuzz_support.h"
#include "host_request.h"
#include "testing/live_counts.h"
#include "vrgdi32/vrgdi32.h"
#include "xpmfilter/xpmfilter.h"

namespace {

using xpmfault::Kind;
using xpmfault::WriteFault;

std::string g_dir;  // scratch folder of this run
std::string g_tmp;  // $TMPDIR, when it is the sweep's own
std::string g_input;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

int CountEntries(const char* directory) {
    int count = 0;
    DIR* dir = opendir(directory);
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count;
}

// Files in the scratch folder and the sweep's own $TMPDIR.
int Entries() {
    return CountEntries(g_dir.c_str()) + (g_tmp.empty() ? 0 : CountEntries(g_tmp.c_str()));
}

// What one call gave: success, and the bytes that make its picture comparable.
struct Outcome {
    bool ok = false;
    std::string bytes;
    bool degraded = false;  // made its picture after a reported failure (a palette left out)
};

std::string TakePicture(void* picture) {
    std::string bytes;
    const bool enhanced = GetObjectType(picture) == OBJ_ENHMETAFILE;
    bytes.resize(enhanced ? GetEnhMetaFileBits(picture, 0, nullptr)
                          : GetMetaFileBitsEx(picture, 0, nullptr));
    if (enhanced)
        GetEnhMetaFileBits(picture, static_cast<UINT>(bytes.size()),
                           reinterpret_cast<BYTE*>(bytes.data()));
    else
        GetMetaFileBitsEx(picture, static_cast<UINT>(bytes.size()), bytes.data());
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
    VrHostHooks hooks{sizeof hooks,
                      via == Via::kFileAsWmf ? 1u : 0u,
                      nullptr,
                      nullptr,
                      nullptr,
                      via == Via::kDescriptor ? uint32_t{kVrHookOutputFd} : 0u,
                      fd};
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
const Entry kEntries[] = {
    {"ImportGR from memory", Import<Via::kMemory>, false},
    {"ImportGR from a file, WMF", Import<Via::kFileAsWmf>, false},
    {"ImportGR to a descriptor", Import<Via::kDescriptor>, true},
    {"ImportCB through a routine", Import<Via::kRoutine>, true},
    {"ImportFile to a named file", ToNamedFile, true},
    {"CreateSetup and EscapeSetup 55", ProfileWrite, true},
};

std::string Image(int width, int height, int colours) {
    std::string text = "/* XPM */\nstatic char *sweep[] = {\n\"" + std::to_string(width) + " " +
                       std::to_string(height) + " " + std::to_string(colours) + " 2\",\n";
    auto key = [](int i) { return std::string{char('#' + i % 90), char('#' + i / 90)}; };
    for (int i = 0; i < colours; ++i) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "#%06X", i * 40503 % 0x1000000);
        text += "\"" + key(i) + " c " + (i == 0 ? "None" : i == 1 ? "navy blue" : hex) + "\",\n";
    }
    for (int y = 0; y < height; ++y) {
        text += "\"";
        for (int x = 0; x < width; ++x) text += key((x * 7 + y * 3) % colours);
        text += y + 1 < height ? "\",\n" : "\"};\n";
    }
    return text;
}

// Sweeps each entry over each input; returns the failures found.
int SweepEntries(std::span<const Entry> entries, unsigned long long* runs) {
    static const std::pair<const char*, std::string> inputs[] = {
        {"tiny",
         "/* XPM */\nstatic char *t[] = {\n\"3 2 2 1\",\n\"a c #FF0000\",\n\"b c "
         "None\",\n\"aba\",\n\"bab\"};\n"},
        {"two bands of 100 colours", Image(40, 140, 100)},
        {"cut short", Image(40, 140, 100).substr(0, 3000)},
    };
    int failures = 0;
    for (const Entry& entry : entries) {
        for (const auto& [inputName, text] : inputs) {
            g_input = text;
            WriteFile(g_dir + "/input.xpm", text);
            WinshimCounts counts = WinshimGetCounts();
            int descriptors = CountEntries("/proc/self/fd");
            bool broken = false;
            xpmfault::StartCounting();
            const Outcome reference = entry.run(&broken);
            std::printf("%-32s %-26s %-5s %llu allocations, %llu writes\n", entry.name, inputName,
                        reference.ok ? "ok" : "fails",
                        (unsigned long long)xpmfault::Seen(Kind::kAllocation),
                        (unsigned long long)xpmfault::Seen(Kind::kWrite));
            struct Sweep {
                Kind kind;
                WriteFault fault;
                const char* name;
            };
            for (const Sweep sweep :
                 {Sweep{Kind::kAllocation, WriteFault::kNoSpace, "allocation"},
                  Sweep{Kind::kWrite, WriteFault::kNoSpace, "write ENOSPC"},
                  Sweep{Kind::kWrite, WriteFault::kIo, "write EIO"},
                  Sweep{Kind::kWrite, WriteFault::kPartway, "part, then ENOSPC"},
                  Sweep{Kind::kWrite, WriteFault::kShort, "short write"}}) {
                if (sweep.kind == Kind::kWrite && !entry.writes) continue;
                int reported = 0;
                for (unsigned long long n = 0;; ++n) {
                    char label[160];
                    std::snprintf(label, sizeof label, "%s/%s/%s/%llu", entry.name, inputName,
                                  sweep.name, n);
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
                    ++*runs;
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
                        std::printf("FAIL %s: %s\n", label, fault);
                    failures += fault != nullptr;
                    // One leak must not hide the next finding.
                    counts = now;
                    descriptors = nowDescriptors;
                    if (!fired) break;
                }
            }
        }
    }
    return failures;
}

// Again as a user who may not write the scratch folder (root writes anywhere): the named
// output is then rewritten in place and the profile's recovery copy goes to $TMPDIR, and
// those ways must hold under the same faults. $TMPDIR is a folder of the sweep's, so that a
// copy left there is found too.
int SweepLocked(unsigned long long* runs) {
    const bool root = geteuid() == 0;
    const std::string locked = g_dir + "/locked";
    g_tmp = g_dir + "/tmp";
    chmod(g_dir.c_str(), 0755), mkdir(locked.c_str(), 0755), mkdir(g_tmp.c_str(), 0700);
    setenv("TMPDIR", g_tmp.c_str(), 1);
    for (const std::string& name :
         {g_tmp, locked + "/input.xpm", locked + "/named.emf", locked + "/sweep.ini"}) {
        if (name != g_tmp) WriteFile(name, "");
        if (root) (void)chown(name.c_str(), 65534, 65534);
    }
    chmod(locked.c_str(), 0555), g_dir = locked;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        if (root && (setgroups(0, nullptr) || setresgid(65534, 65534, 65534) ||
                     setresuid(65534, 65534, 65534)))
            _exit(2);
        const Entry kLocked[] = {kEntries[4], kEntries[5]};
        const int failures = SweepEntries(kLocked, runs);
        std::printf("as %s: %llu faulted runs, %d failures\n", root ? "nobody" : "the owner", *runs,
                    failures);
        std::fflush(stdout);
        _exit(failures == 0 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    chmod(locked.c_str(), 0755), g_dir.resize(g_dir.size() - 7);
    return status == 0 ? 0 : 1;
}

}  // namespace

int main() {
    char scratch[] = "/tmp/xpm-fault-sweep-XXXXXX";
    if (mkdtemp(scratch) == nullptr) return 2;
    g_dir = scratch;
    xpmfuzz::EnsureModuleReady();
    unsigned long long runs = 0;
    int failures = SweepEntries(kEntries, &runs);
    // A profile write that fails (saving the recovery copy, or writing in place) says why:
    // a full disk, or any other write fault; the file keeps its bytes.
    const std::string profile = g_dir + "/errors.ini";
    struct Row {
        int n;
        WriteFault fault;
        unsigned error;
    };
    for (const auto& [n, fault, error] :
         {Row{0, WriteFault::kNoSpace, 112}, Row{0, WriteFault::kIo, 29},
          Row{1, WriteFault::kNoSpace, 112}, Row{1, WriteFault::kIo, 29}}) {
        WriteFile(profile, "[a]\r\nk=old\r\n");
        xpmfault::Arm(Kind::kWrite, n, fault);
        xpmfault::Resume();
        const BOOL written = WritePrivateProfileStringA("a", "k", "new", profile.c_str());
        const DWORD got = GetLastError();
        xpmfault::Pause();
        xpmfault::Disarm();
        if (written || got != error || ReadFile(profile) != "[a]\r\nk=old\r\n")
            std::printf("FAIL profile write %d: error %u, wanted %u\n", n,
                        static_cast<unsigned>(got), error),
                ++failures;
    }
    std::printf("%llu faulted runs, %d failures\n", runs, failures);
    failures += SweepLocked(&runs);
    (void)std::system(("rm -rf " + g_dir).c_str());
    return failures == 0 ? 0 : 1;
}
