// The import job: status sequences as the filter sends them, what the host's hooks see and
// answer wherever their record lies, the outcome ImportJobEnd gives and the writer's stop code;
// and the preferences call.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "vrgdi32/vrgdi32.h"

namespace {

// The host: records the percentages it is shown; its nth stop query answers bit n of stopBits
// (the last bit for every later one).
struct Host {
    std::vector<int32_t> percents;
    int32_t stopBits = 0;  // shifted right (the sign bit kept) at every query
    VrHostHooks Hooks() {
        return {
            sizeof(VrHostHooks), 0, this,
            [](void* h, int32_t percent) { static_cast<Host*>(h)->percents.push_back(percent); },
            [](void* h) -> int32_t {
                return std::exchange(static_cast<Host*>(h)->stopBits,
                                     static_cast<Host*>(h)->stopBits >> 1) &
                       1;
            }};
    }
};

// Status sequences as the filter sends them; the record of hooks is read wherever it lies, on
// the stack or on the heap (an older, shorter record too); other host values mean no hooks.
TEST(ImportJobTest, StatusSequences) {
    struct Step {
        uint32_t kind, code, first, second;
        int32_t wantAnswer;
    };
    // stopped: the writer finishes with the stop code. where: 0 stack, 1 heap, 2 the host value
    // `gap` itself.
    struct Case {
        const char* name;
        int32_t stopBits;
        std::vector<Step> steps;
        std::vector<int32_t> wantPercents;
        int16_t wantEnd;
        bool stopped = false;
        int where = 0;
        uint32_t size = sizeof(VrHostHooks);
        std::size_t gap = 0;
        int32_t readFailure = 0;  // what a read routine of the job's input answers (-EIO)
    };
    const uint32_t kRange = 0xFFFFFFFFu, kMinus = static_cast<uint32_t>(-300),
                   full = sizeof(VrHostHooks), old = kVrHostHooksSizeV1;
    const std::vector<Step> kStopped = {{0, 0, 50, 0, 1}, {2, 61, 0, 0, 1}},
                            kSilent = {{0, 0, 50, 0, 0}, {2, 61, 0, 0, 0}};
    const std::vector<Case> cases = {
        {"clean run", 0, {{0, 0, 50, 0, 0}, {0, 0, 100, 0, 0}}, {50, 100}, 0},
        {"zero report is no failure", 0, {{3, 0, 0, 0, 0}}, {}, 0},
        {"percentages are clamped",
         0,
         {{0, 0, 0, 0, 0}, {0, 0, 250, 0, 0}, {0, 0, kMinus, 0, 0}, {0, 0, 99, 0, 0}},
         {0, 100, 0, 99},
         0},
        {"a range scales",
         0,
         {{0, kRange, 200, 400, 0}, {0, 0, 400, 0, 0}, {0, 0, 100, 0, 0}, {0, 0, 700, 0, 0}},
         {50, 0, 100},
         0},
        {"an empty range does not", 0, {{0, kRange, 5, 0, 0}, {0, 0, 42, 0, 0}}, {42}, 0},
        {"host stops and confirms",
         -1,
         {{0, 0, 10, 0, 1}, {2, 61, 0, 0, 1}, {3, 61, 0, 0, 0}},
         {10},
         61,
         true},
        {"stop at the last check, not reported",
         -1,
         {{0, 0, 100, 0, 1}, {2, 61, 0, 0, 1}},
         {100},
         61,
         true},
        {"host asks, then takes it back",
         1,
         {{0, 0, 10, 0, 1}, {2, 61, 0, 0, 0}, {0, 0, 20, 0, 0}},
         {10, 20},
         0},
        {"stop asked, never confirmed", -1, {{0, 0, 10, 0, 1}}, {10}, 0},
        {"first report wins", 0, {{3, 27, 0, 0, 0}, {3, 26, 0, 0, 0}, {3, 61, 0, 0, 0}}, {}, 27},
        {"negative code", 0, {{3, static_cast<uint32_t>(-23), 0, 0, 0}, {3, 7, 0, 0, 0}}, {}, -23},
        // A failed read is the end of the input to the filter: its codes for a file cut short
        // become the read failure; others stay.
        {"cut short by a failed read", 0, {{3, uint32_t(-23), 0, 0, 0}}, {}, 30, 0, 0, full, 0, -5},
        {"undecodable after a failed read",
         0,
         {{3, uint32_t(-1), 0, 0, 0}},
         {},
         30,
         0,
         0,
         full,
         0,
         -1},
        {"memory after a failed read", 0, {{3, 27, 0, 0, 0}}, {}, 27, 0, 0, full, 0, -5},
        {"a clean run after a failed read", 0, {}, {}, 0, 0, 0, full, 0, -5},
        {"report before the stop wins",
         -1,
         {{3, 7, 0, 0, 0}, {0, 0, 5, 0, 1}, {2, 61, 0, 0, 1}},
         {5},
         7,
         true},
        {"other kinds answer 0",
         -1,
         {{1, 0, 0, 0, 0}, {2, 60, 0, 0, 0}, {4, 61, 0, 0, 0}, {0, 5, 50, 0, 0}},
         {},
         0},
        {"older record", -1, kStopped, {50}, 61, true, 0, old},
        {"record of unknown size", -1, kSilent, {}, 0, false, 0, 24},
        {"heap", -1, kStopped, {50}, 61, true, 1},
        {"older record on the heap", -1, kStopped, {50}, 61, true, 1, old},
        {"no host value", -1, kSilent, {}, 0, false, 2, full, 0},
        {"unaligned value", -1, kSilent, {}, 0, false, 2, full, 7},
        {"unmapped value", -1, kSilent, {}, 0, false, 2, full, 0x1000},
    };
    for (const Case& c : cases) {
        Host host{{}, c.stopBits};
        VrHostHooks stack = host.Hooks();
        auto heap = std::make_unique<VrHostHooks>(stack);
        VrHostHooks* record = c.where == 0 ? &stack : heap.get();
        record->size = c.size;
        // The hooks reach the job the way the filter attaches them, through OutputOpen's sink;
        // the range comes before the output is opened.
        const ImportJobHandle job =
            ImportJobBegin(nullptr, "XPM Import", "in.xpm", 0, 0x00080005, 0);
        static int32_t failure;
        failure = c.readFailure;
        const StreamSource failing{
            0, 0, {}, reinterpret_cast<uint64_t>(+[](uint64_t, void* buffer, int32_t) {
                return buffer == nullptr ? -1 : failure;
            })};
        StreamHandle input = c.readFailure != 0 ? StreamOpen(nullptr, &failing, 0) : nullptr;
        uint8_t byte;
        EXPECT_EQ(StreamRead(input, &byte, 1), 0);
        EXPECT_EQ(StreamReadFailure(), c.readFailure == -1 ? kVrReadRoutineFailed : -c.readFailure)
            << c.name << ": the cause";
        StreamClose(input);
        WriterHandle writer = WriterCreate(0);
        StatusSink sink{
            0, {}, job, 0, 0, 0, c.where == 2 ? c.gap : reinterpret_cast<uint64_t>(record)};
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
        OutputFinish(writer), WriterGetError(writer, 1, &flag, pair), OutputClose(writer),
            WriterDestroy(writer);
        EXPECT_EQ(std::vector<int32_t>({flag != 0 ? pair[0] : 0, ImportJobEnd(job)}),
                  std::vector<int32_t>({c.stopped ? 901 : 0, c.wantEnd}))
            << c.name;
        EXPECT_EQ(host.percents, c.wantPercents) << c.name;
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
