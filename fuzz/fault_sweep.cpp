// Fails every allocation and every write of an import, one at a time, for each entry point
// and a few inputs. Whatever fails, the call gives a failure code and no picture (or, when
// the failure was absorbed, exactly the picture of an undisturbed run), leaves no memory
// block, lock, metafile or descriptor behind, and leaves no half-written file: a named
// output and a profile hold either their old bytes or the complete new ones.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fault_hooks.h"
#include "fuzz_support.h"
#include "vrgdi32/vrgdi32.h"
#include "xpmfilter/xpmfilter.h"

namespace {

using xpmfault::Kind;
using xpmfault::WriteFault;

std::string g_dir;  // scratch folder of this run

std::string ReadFile(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) != 0;) bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<std::string> DirEntries() {
    std::vector<std::string> names;
    DIR* dir = opendir(g_dir.c_str());
    while (dirent* e = readdir(dir)) names.emplace_back(e->d_name);
    closedir(dir);
    return names;
}

int OpenDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count;
}

// What one call gave: success, and the bytes that make its picture comparable.
struct Outcome {
    bool ok = false;
    std::string bytes;
};

std::string PictureBytes(void* picture) {
    std::string bytes;
    if (GetObjectType(picture) == OBJ_ENHMETAFILE) {
        bytes.resize(GetEnhMetaFileBits(picture, 0, nullptr));
        GetEnhMetaFileBits(picture, static_cast<UINT>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data()));
        DeleteEnhMetaFile(picture);
    } else {
        bytes.resize(GetMetaFileBitsEx(picture, 0, nullptr));
        GetMetaFileBitsEx(picture, static_cast<UINT>(bytes.size()), bytes.data());
        DeleteMetaFile(picture);
    }
    return bytes;
}

// Returns the picture's bytes after a clean result; a failure must come without a picture.
Outcome Collect(uint32_t code, const PictureResult& result, bool* broken) {
    if (code != 0) {
        if (result.picture != nullptr) *broken = true;
        return {};
    }
    if (result.picture == nullptr) return {true, {}};
    return {true, PictureBytes(result.picture)};
}

struct Input {
    const char* name;
    std::string text;
};

// ---- The entry points --------------------------------------------------------------------

Outcome FromMemory(const Input& in, bool* broken) {
    HGLOBAL memory = GlobalAlloc(GHND, in.text.size());
    if (memory == nullptr) return {};
    std::memcpy(GlobalLock(memory), in.text.data(), in.text.size());
    GlobalUnlock(memory);
    static SourceSpec source;
    source = SourceSpec{};
    source.memory = memory;
    PictureResult result{};
    xpmfault::Resume();
    const uint32_t code = ImportGR(nullptr, &source, &result, nullptr);
    xpmfault::Pause();
    Outcome out = Collect(code, result, broken);
    GlobalFree(memory);
    return out;
}

Outcome FromFileAsWmf(const Input&, bool* broken) {
    static SourceSpec source;
    source = SourceSpec{};
    std::snprintf(source.path, sizeof source.path, "%s/input.xpm", g_dir.c_str());
    VrHostHooks hooks{sizeof hooks, kVrMetafileWmf, nullptr, nullptr, nullptr, 0, -1};
    PictureResult result{};
    xpmfault::Resume();
    const uint32_t code = ImportGR(&hooks, &source, &result, nullptr);
    xpmfault::Pause();
    return Collect(code, result, broken);
}

Outcome ToDescriptor(const Input&, bool* broken) {
    char path[512];
    std::snprintf(path, sizeof path, "%s/out.emf", g_dir.c_str());
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    static SourceSpec source;
    source = SourceSpec{};
    std::snprintf(source.path, sizeof source.path, "%s/input.xpm", g_dir.c_str());
    VrHostHooks hooks{sizeof hooks, kVrMetafileEmf, nullptr, nullptr, nullptr, kVrHookOutputFd, fd};
    PictureResult result{};
    xpmfault::Resume();
    const uint32_t code = ImportGR(&hooks, &source, &result, nullptr);
    xpmfault::Pause();
    Outcome out = Collect(code, result, broken);
    close(fd);
    if (out.ok) out.bytes = ReadFile(path);
    unlink(path);
    return out;
}

// A routine that cannot tell its size and delivers at most 7 bytes a call.
struct Reader {
    const std::string* text;
    size_t position;
};
int32_t ReadChunk(uint64_t userData, void* buffer, int32_t count) {
    auto* reader = reinterpret_cast<Reader*>(userData);
    if (buffer == nullptr) return -1;
    size_t n = std::min<size_t>({reader->text->size() - reader->position, static_cast<size_t>(count), 7});
    std::memcpy(buffer, reader->text->data() + reader->position, n);
    reader->position += n;
    return static_cast<int32_t>(n);
}

Outcome ThroughRoutine(const Input& in, bool* broken) {
    static SourceSpec source;
    source = SourceSpec{};
    Reader reader{&in.text, 0};
    PictureResult result{};
    xpmfault::Resume();
    const uint32_t code =
        ImportCB(nullptr, &source, &result, nullptr, reinterpret_cast<uint64_t>(&reader), ReadChunk);
    xpmfault::Pause();
    return Collect(code, result, broken);
}

// ImportFile with an output name, as a host that builds its own request does. The target
// holds older bytes that only a complete picture may replace.
Outcome ToNamedFile(const Input&, bool* broken) {
    const std::string target = g_dir + "/named.emf";
    const std::string input = g_dir + "/input.xpm";
    WriteFile(target, "older picture");
    const std::vector<std::string> before = DirEntries();
    OptionSetHandle set = nullptr;
    HGLOBAL setup = nullptr;
    ImportJobHandle job = 0;
    int16_t outcome = 27;
    char empty[] = "";
    xpmfault::Resume();
    set = OptionSetCreate(0, 0, 0, 0);
    setup = set == nullptr ? nullptr : CreateSetup(nullptr, nullptr, nullptr, nullptr);
    StatusSink sink{};
    if (setup != nullptr) {
        sink.statusProc = reinterpret_cast<uint64_t>(&DefaultStatusProc);
        ImportRequest request{};
        request.setup = setup;
        request.optionSet = set;
        request.names[0] = request.names[1] = request.names[2] = empty;
        request.statusSink = &sink;
        job = ImportJobBegin(nullptr, "sweep", input.c_str(), 0, QVTGetFilterVersion(), 0);
        sink.userData = job;
        // A host that cannot begin a job does not import.
        if (job != 0) {
            (void)ImportFile(0, target.c_str(), empty, input.c_str(), &request);
            outcome = ImportJobEnd(job);
        }
    }
    xpmfault::Pause();
    if (setup != nullptr && sink.dataHandle != 0) {
        // A named output comes back as a handle too; never together with a failure.
        if (outcome != 0) *broken = true;
        (void)PictureBytes(reinterpret_cast<void*>(sink.dataHandle));
    }
    if (setup != nullptr) DestroySetup(setup);
    if (set != nullptr) GlobalFree(set);
    Outcome out{outcome == 0, ReadFile(target)};
    if (!out.ok && out.bytes != "older picture") *broken = true;
    if (DirEntries().size() != before.size()) *broken = true;  // a temporary file left over
    if (std::getenv("SWEEP_ONLY")) std::printf("outcome %d, handle %llx, %zu -> %zu entries, target %zu bytes\n", outcome, (unsigned long long)sink.dataHandle, before.size(), DirEntries().size(), out.bytes.size());
    unlink(target.c_str());
    return out;
}

Outcome FileInfo(const Input&, bool*) {
    FileInfoRecord record{};
    record.size = sizeof record;
    const std::string path = g_dir + "/input.xpm";
    xpmfault::Resume();
    int32_t code = GetFileInfo(path.c_str(), &record, 0, nullptr);
    xpmfault::Pause();
    char text[32];
    std::snprintf(text, sizeof text, "%d x %d", record.imageWidth, record.imageHeight);
    return {code == 0, code == 0 ? text : ""};
}

// Colour mode 2 written to a profile that says 0; the file must say one or the other.
Outcome ProfileWrite(const Input&, bool* broken) {
    const std::string path = g_dir + "/sweep.ini";
    const std::string older = "[rondo]\r\n~Mode=XPM\r\n[XPM]\r\nDriver=x.drv\r\nColor Mode=0\r\n; kept\r\n";
    WriteFile(path, older);
    const std::vector<std::string> before = DirEntries();
    xpmfault::Resume();
    HGLOBAL setup = CreateSetup(nullptr, path.c_str(), nullptr, nullptr);
    if (setup != nullptr) {
        uint32_t mode = 2;
        EscapeSetup(setup, 55, 4, &mode, nullptr, 1);
        DestroySetup(setup);
    }
    xpmfault::Pause();
    const std::string after = ReadFile(path);
    if (after != older && after.find("Color Mode=2") == std::string::npos) *broken = true;
    if (DirEntries().size() != before.size()) *broken = true;  // a recovery copy left over
    unlink(path.c_str());
    return {setup != nullptr, {}};
}

struct Entry {
    const char* name;
    Outcome (*run)(const Input&, bool* broken);
    bool writes;
    bool profileOnly;  // runs once, not per input
};

const Entry kEntries[] = {
    {"ImportGR from memory", FromMemory, false, false},
    {"ImportGR from a file, WMF", FromFileAsWmf, false, false},
    {"ImportGR to a descriptor", ToDescriptor, true, false},
    {"ImportCB through a routine", ThroughRoutine, true, false},
    {"ImportFile to a named file", ToNamedFile, true, false},
    {"GetFileInfo", FileInfo, false, false},
    {"CreateSetup and EscapeSetup 55", ProfileWrite, true, true},
};

std::string Image(int width, int height, int colours) {
    std::string text = "/* XPM */\nstatic char *sweep[] = {\n\"" + std::to_string(width) + " " +
                       std::to_string(height) + " " + std::to_string(colours) + " 2\",\n";
    auto key = [](int i) { return std::string{char('#' + i % 90), char('#' + i / 90)}; };
    for (int i = 0; i < colours; ++i) {
        char spec[32];
        if (i == 0) std::snprintf(spec, sizeof spec, "None");
        else if (i == 1) std::snprintf(spec, sizeof spec, "navy blue");
        else std::snprintf(spec, sizeof spec, "#%06X", i * 40503 % 0x1000000);
        text += "\"" + key(i) + " c " + spec + "\",\n";
    }
    for (int y = 0; y < height; ++y) {
        text += "\"";
        for (int x = 0; x < width; ++x) text += key((x * 7 + y * 3) % colours);
        text += y + 1 < height ? "\",\n" : "\"};\n";
    }
    return text;
}

}  // namespace

int main() {
    char scratch[] = "/tmp/xpm-fault-sweep-XXXXXX";
    if (mkdtemp(scratch) == nullptr) return 2;
    g_dir = scratch;
    xpmfuzz::EnsureModuleReady();
    const std::string tiny = "/* XPM */\nstatic char *t[] = {\n\"3 2 2 1\",\n\"a c #FF0000\",\n\"b c None\",\n\"aba\",\n\"bab\"};\n";
    const Input inputs[] = {
        {"tiny", tiny},
        {"two bands of 100 colours", Image(40, 140, 100)},
        {"cut short", Image(40, 140, 100).substr(0, 3000)},
    };
    const WriteFault writeFaults[] = {WriteFault::kNoSpace, WriteFault::kIo, WriteFault::kShort};
    // SWEEP_ONLY="ENTRY/INPUT/KIND/N" (e.g. "GetFileInfo/tiny/allocation/2") runs that one
    // point (with SWEEP_TRAP set, it traps where the point fails, for a debugger).
    char only[256] = {};
    if (const char* text = std::getenv("SWEEP_ONLY")) std::snprintf(only, sizeof only, "%s", text);
    int failures = 0;
    uint64_t totalRuns = 0;
    for (const Entry& entry : kEntries) {
        for (const Input& input : inputs) {
            if (entry.profileOnly && &input != &inputs[0]) continue;
            WriteFile(g_dir + "/input.xpm", input.text);
            WinshimCounts counts = WinshimGetCounts();
            int descriptors = OpenDescriptors();
            bool broken = false;
            xpmfault::StartCounting();
            const Outcome reference = entry.run(input, &broken);
            const uint64_t points[2] = {xpmfault::Seen(Kind::kAllocation), xpmfault::Seen(Kind::kWrite)};
            std::printf("%-32s %-26s %s: %llu allocations, %llu writes\n", entry.name, input.name,
                        reference.ok ? "ok" : "fails", static_cast<unsigned long long>(points[0]),
                        static_cast<unsigned long long>(points[1]));
            for (Kind kind : {Kind::kAllocation, Kind::kWrite}) {
                if (kind == Kind::kWrite && !entry.writes) continue;
                for (WriteFault fault : writeFaults) {
                    if (kind == Kind::kAllocation && fault != WriteFault::kNoSpace) continue;
                    int reported = 0;
                    for (uint64_t n = 0;; ++n) {
                        char label[256];
                        std::snprintf(label, sizeof label, "%s/%s/%s/%llu", entry.name, input.name,
                                      kind == Kind::kAllocation ? "allocation" : "write", (unsigned long long)n);
                        if (only[0] != '\0' && std::strcmp(only, label) != 0) {
                            if (n > 100000) break;
                            continue;
                        }
                        if (std::getenv("SWEEP_TRAP") != nullptr) xpmfault::TrapWhenFiring();
                        xpmfault::Arm(kind, n, fault);
                        broken = false;
                        bool threw = false;
                        Outcome got;
                        try {
                            got = entry.run(input, &broken);
                        } catch (...) {
                            xpmfault::Pause();
                            threw = true;  // an exception crossed an exported call
                        }
                        const bool fired = xpmfault::Disarm();
                        ++totalRuns;
                        const bool absorbedWrong = got.ok && got.bytes != reference.bytes;
                        const WinshimCounts now = WinshimGetCounts();
                        const bool leaked = std::memcmp(&counts, &now, sizeof counts) != 0 ||
                                            OpenDescriptors() != descriptors;
                        const bool shortNotAbsorbed = fault == WriteFault::kShort && fired && reference.ok && !got.ok;
                        if ((broken || absorbedWrong || leaked || shortNotAbsorbed || threw) && ++reported <= 3) {
                            std::printf("FAIL %s / %s: %s %llu (%s)%s%s%s%s%s\n", entry.name, input.name,
                                        kind == Kind::kAllocation ? "allocation" : "write",
                                        static_cast<unsigned long long>(n),
                                        fault == WriteFault::kShort ? "short" : fault == WriteFault::kIo ? "EIO" : "ENOSPC",
                                        broken ? " left a picture or a partial file" : "",
                                        absorbedWrong ? " succeeded with a different picture" : "",
                                        leaked ? " leaked a block, lock, metafile or descriptor" : "",
                                        shortNotAbsorbed ? " failed on a short write" : "",
                                        threw ? " let an exception out" : "");
                            if (leaked)
                                std::printf("  blocks %+lld, locks %+lld, local %+lld, metafiles %+lld, descriptors %+d\n",
                                            (long long)(now.globalBlocks - counts.globalBlocks),
                                            (long long)(now.globalLocks - counts.globalLocks),
                                            (long long)(now.localBlocks - counts.localBlocks),
                                            (long long)(now.metafiles - counts.metafiles),
                                            OpenDescriptors() - descriptors);
                            ++failures;
                        }
                        // One leak must not hide the next finding.
                        counts = now;
                        descriptors = OpenDescriptors();
                        if (!fired) break;
                    }
                }
            }
        }
    }
    std::printf("%llu faulted runs, %d failures\n", static_cast<unsigned long long>(totalRuns), failures);
    std::string cleanup = "rm -rf " + g_dir;
    (void)std::system(cleanup.c_str());
    return failures == 0 ? 0 : 1;
}
