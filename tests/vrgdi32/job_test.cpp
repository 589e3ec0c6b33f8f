// The import job: status sequences as the filter sends them, what the host's hooks see and
// answer wherever their record lies, the outcome ImportJobEnd gives and the writer's stop code;
// and the preferences call.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

#include <cstring>
#include <utility>
#include <vector>

#include "vrgdi32/vrgdi32.h"

namespace {

// The host: records the percentages it is shown; its nth stop query answers bit n of stopBits
// (the last bit for every later one).
struct Host {
    std::vector<int32_t> percents;
    int32_t stopBits = 0;  // shifted right (the sign bit kept) at every query
    static void Shown(void* h, int32_t percent) {
        static_cast<Host*>(h)->percents.push_back(percent);
    }
    static int32_t Stops(void* h) {
        int32_t& bits = static_cast<Host*>(h)->stopBits;
        return std::exchange(bits, bits >> 1) & 1;
    }
};

// Two pages, the second unreadable: a record copied to the end of the first ends where readable
// memory ends.
struct GuardedPages {
    uint8_t* first;
    GuardedPages() {
#if defined(_WIN32)
        first = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        EXPECT_TRUE(VirtualProtect(first + 4096, 4096, PAGE_NOACCESS, &old));
#else
        first = static_cast<uint8_t*>(
            mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_EQ(mprotect(first + 4096, 4096, PROT_NONE), 0);
#endif
    }
    ~GuardedPages() {
#if defined(_WIN32)
        VirtualFree(first, 0, MEM_RELEASE);
#else
        munmap(first, 8192);
#endif
    }
};

struct Step {
    uint32_t kind, code, first, second;
    int32_t wantAnswer;
};

// Status sequences as the filter sends them; the record of hooks is read wherever it lies, on
// the stack or where readable memory ends (an older, shorter record too); other host values
// mean no hooks.
TEST(ImportJobTest, StatusSequences) {
    // shown: the percentages the host is shown; ends: what ImportJobEnd gives; stopped: the
    // writer finishes with the stop code. hostValue: the record's address, or kOnStack /
    // kAtMemoryEnd for a copy of it where readable memory ends, kUnaligned for one 4 bytes off
    // its alignment.
    constexpr uint64_t kOnStack = ~0ull, kAtMemoryEnd = ~1ull, kUnaligned = ~2ull;
    const GuardedPages pages;
    uint8_t* const atMemoryEnd = pages.first;
    struct Case {
        const char* name;
        int32_t stopBits = 0;
        std::vector<int32_t> shown;
        int16_t ends = 0;
        bool stopped = false;
        uint64_t hostValue = kOnStack;
        uint32_t size = sizeof(VrHostHooks);
        uint32_t claims = 0;    // the size the record says it has, when not its own
        int32_t readGives = 0;  // what a read routine of the job's input answers (-EIO)
        std::vector<Step> steps;
    };
    constexpr uint32_t kRange = 0xFFFFFFFFu;
    const auto Progress = [](uint32_t percent, int32_t answer = 0) {
        return Step{0, 0, percent, 0, answer};
    };
    const auto Range = [](uint32_t base, uint32_t size) { return Step{0, kRange, base, size, 0}; };
    const auto Report = [](int32_t code) { return Step{3, static_cast<uint32_t>(code), 0, 0, 0}; };
    const auto StopNotice = [](int32_t answer) { return Step{2, 61, 0, 0, answer}; };
    const std::vector<Step> kStopped = {Progress(100, 1), StopNotice(1)},
                            kSilent = {Progress(100), StopNotice(0)};
    const uint32_t kMinus = static_cast<uint32_t>(-300);
    // clang-format off
    const Case cases[] = {
        {.name = "clean run", .shown = {50, 100}, .steps = {Progress(50), Progress(100)}},
        {.name = "zero report is no failure", .steps = {Report(0)}},
        {.name = "percentages are clamped", .shown = {0, 100, 0, 99},
         .steps = {Progress(0), Progress(250), Progress(kMinus), Progress(99)}},
        {.name = "a range scales", .shown = {50, 0, 100},
         .steps = {Range(200, 400), Progress(400), Progress(100), Progress(700)}},
        {.name = "an empty range does not", .shown = {42}, .steps = {Range(5, 0), Progress(42)}},
        {.name = "host stops and confirms", .stopBits = -1, .shown = {10}, .ends = 61,
         .stopped = true, .steps = {Progress(10, 1), StopNotice(1), Report(61)}},
        {.name = "stop at the last check, not reported", .stopBits = -1, .shown = {100}, .ends = 61,
         .stopped = true, .steps = kStopped},
        {.name = "host asks, then takes it back", .stopBits = 1, .shown = {10, 20},
         .steps = {Progress(10, 1), StopNotice(0), Progress(20)}},
        {.name = "stop asked, never confirmed", .stopBits = -1, .shown = {10},
         .steps = {Progress(10, 1)}},
        {.name = "first report wins", .ends = 27, .steps = {Report(27), Report(26), Report(61)}},
        {.name = "negative code", .ends = -23, .steps = {Report(-23), Report(7)}},
        // A failed read is the end of the input to the filter: its codes for a file cut short
        // become the read failure; others stay.
        {.name = "cut short by a failed read", .ends = 30, .readGives = -5, .steps = {Report(-23)}},
        {.name = "undecodable after a failed read", .ends = 30, .readGives = -1,
         .steps = {Report(-1)}},
        {.name = "memory after a failed read", .ends = 27, .readGives = -5, .steps = {Report(27)}},
        {.name = "a clean run after a failed read", .readGives = -5},
        {.name = "report before the stop wins", .stopBits = -1, .shown = {5}, .ends = 7,
         .stopped = true, .steps = {Report(7), Progress(5, 1), StopNotice(1)}},
        {.name = "other kinds answer 0", .stopBits = -1,
         .steps = {{1, 0, 0, 0, 0}, {2, 60, 0, 0, 0}, {4, 61, 0, 0, 0}, {0, 5, 50, 0, 0}}},
        {.name = "older record", .stopBits = -1, .shown = {100}, .ends = 61, .stopped = true,
         .size = kVrHostHooksSizeV1, .steps = kStopped},
        {.name = "record of unknown size", .stopBits = -1, .size = 24, .steps = kSilent},
        {.name = "older record where readable memory ends", .stopBits = -1, .shown = {100}, .ends = 61,
         .stopped = true, .hostValue = kAtMemoryEnd, .size = kVrHostHooksSizeV1, .steps = kStopped},
        {.name = "a whole record's size where memory ends sooner", .stopBits = -1, .hostValue = kAtMemoryEnd,
         .size = kVrHostHooksSizeV1, .claims = sizeof(VrHostHooks), .steps = kSilent},
        {.name = "no host value", .stopBits = -1, .hostValue = 0, .steps = kSilent},
        {.name = "unaligned record", .stopBits = -1, .hostValue = kUnaligned, .steps = kSilent},
        {.name = "unmapped value", .stopBits = -1, .hostValue = 0x1000, .steps = kSilent},
    };
    // clang-format on
    for (const Case& c : cases) {
#if defined(_WIN32)
        // Wine reads its process's unreadable pages through the system, which Windows refuses.
        if (c.claims != 0) continue;
#endif
        Host host{{}, c.stopBits};
        VrHostHooks stack{sizeof(VrHostHooks), 0, &host, Host::Shown, Host::Stops};
        stack.size = c.claims != 0 ? c.claims : c.size;
        // The record's first bytes in the last of two pages, with the next page unreadable.
        std::memcpy(atMemoryEnd + 4096 - c.size, &stack, c.size);
        // The hooks reach the job the way the filter attaches them, through OutputOpen's sink;
        // the range comes before the output is opened.
        const ImportJobHandle job =
            ImportJobBegin(nullptr, "XPM Import", "in.xpm", 0, 0x00080005, 0);
        static int32_t failure;
        failure = c.readGives;
        const StreamSource failing{
            0, 0, {}, reinterpret_cast<uint64_t>(+[](uint64_t, void* buffer, int32_t) {
                return buffer == nullptr ? -1 : failure;
            })};
        StreamHandle input = c.readGives != 0 ? StreamOpen(nullptr, &failing, 0) : nullptr;
        uint8_t byte;
        EXPECT_EQ(StreamRead(input, &byte, 1), 0) << c.name;  // the stream tests check the cause
        StreamClose(input);
        WriterHandle writer = WriterCreate(0);
        // A whole record, but at an address a record cannot have.
        alignas(VrHostHooks) uint8_t shifted[sizeof(VrHostHooks) + 4];
        std::memcpy(shifted + 4, &stack, sizeof(VrHostHooks));
        uint64_t value = c.hostValue == kOnStack ? reinterpret_cast<uint64_t>(&stack) : c.hostValue;
        if (c.hostValue == kUnaligned) value = reinterpret_cast<uint64_t>(shifted + 4);
        if (c.hostValue == kAtMemoryEnd)
            value = reinterpret_cast<uint64_t>(atMemoryEnd + 4096 - c.size);
        StatusSink sink{0, {}, job, 0, 0, 0, value};
        EXPECT_EQ(std::vector<int32_t>({DefaultStatusProc(job, 0, kRange, 0, 100, 0, nullptr),
                                        OutputOpen(writer, "", "", 0, nullptr, &sink)}),
                  std::vector<int32_t>(2, 0));
        for (const Step& s : c.steps) {
            EXPECT_EQ(DefaultStatusProc(job, s.kind, s.code, s.first, s.second, 0, nullptr),
                      s.wantAnswer)
                << c.name << ", step " << &s - c.steps.data();
        }
        // The writer's finish leaves the stop code pending when the job answered a stop.
        uint32_t flag = 0;
        int16_t pair[2] = {};
        OutputFinish(writer);
        WriterGetError(writer, 1, &flag, pair);
        OutputClose(writer);
        WriterDestroy(writer);
        EXPECT_EQ(std::vector<int32_t>({flag != 0 ? pair[0] : 0, ImportJobEnd(job)}),
                  std::vector<int32_t>({c.stopped ? 901 : 0, c.ends}))
            << c.name;
        EXPECT_EQ(host.percents, c.shown) << c.name;
    }
}

TEST(ImportJobTest, UnknownJobsAndPreferences) {
    // Jobs do not share their outcome; one that does not exist cannot vouch for an import.
    const ImportJobHandle job = ImportJobBegin(nullptr, "t", "", 0, 0, 0),
                          other = ImportJobBegin(nullptr, "t", "", 0, 0, 0);
    EXPECT_EQ(std::vector<int32_t>({DefaultStatusProc(job, 3, 9, 0, 0, 1, nullptr),
                                    ImportJobEnd(job), ImportJobEnd(other)}),
              std::vector<int32_t>({0, 9, 0}));
    for (ImportJobHandle stale : {job, ImportJobHandle{0}, ImportJobHandle{0xFFFF0001}}) {
        EXPECT_EQ(std::vector<int32_t>({DefaultStatusProc(stale, 0, 0, 10, 0, 0, nullptr),
                                        DefaultStatusProc(stale, 3, 9, 0, 0, 1, nullptr),
                                        ImportJobEnd(stale)}),
                  std::vector<int32_t>({0, 0, 27}));
    }
    // Preferences: the host's edit routine runs once with the host's arguments, if there is one.
    static std::vector<uint64_t> seen;
    int host = 0;
    EXPECT_EQ(PreferencesRun(
                  &host, HGLOBAL(0x5550), 0xABCDEF,
                  [](uint64_t a, uint64_t b, uint64_t c) {
                      return seen.insert(seen.end(), {a, b, c}), 77;
                  },
                  1, ""),
              77);
    EXPECT_EQ(PreferencesRun(&host, nullptr, 0, nullptr, 1, ""), 0) << "no routine, no call";
    EXPECT_EQ(seen, (std::vector<uint64_t>{reinterpret_cast<uint64_t>(&host), 0x5550, 0xABCDEF}));
}

}  // namespace
