// The import job: status sequences as the filter sends them, what the host's hooks see
// and answer, and the outcome ImportJobEnd gives; and the preferences call.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "vrgdi32/vrgdi32.h"

namespace {

struct Host {
    std::vector<int32_t> percents;
    bool (*stopAt)(int query) = [](int) { return false; };  // shouldStop's answer to its nth query
    int stopQueries = 0;

    static void Progress(void* context, int32_t percent) {
        static_cast<Host*>(context)->percents.push_back(percent);
    }
    static int32_t ShouldStop(void* context) {
        auto* host = static_cast<Host*>(context);
        return host->stopAt(host->stopQueries++) ? 1 : 0;
    }
    VrHostHooks Hooks() {
        VrHostHooks hooks{};
        hooks.size = sizeof hooks;
        hooks.context = this;
        hooks.progress = &Host::Progress;
        hooks.shouldStop = &Host::ShouldStop;
        return hooks;
    }
};

// A job whose hooks are attached the way the filter does it: through OutputOpen's sink.
struct JobWithHooks {
    ImportJobHandle job;
    WriterHandle writer;
    StatusSink sink{};

    explicit JobWithHooks(VrHostHooks* hooks) {
        job = ImportJobBegin(nullptr, "XPM Import", "in.xpm", 0, 0x00080005, 0);
        writer = WriterCreate(0);
        sink.userData = job;
        sink.hostValue = reinterpret_cast<uint64_t>(hooks);
        sink.statusProc = reinterpret_cast<uint64_t>(&DefaultStatusProc);
        // The range comes before the output is opened.
        EXPECT_EQ(DefaultStatusProc(job, 0, 0xFFFFFFFFu, 0, 100, 0, nullptr), 0);
        EXPECT_EQ(OutputOpen(writer, "", "", 0, nullptr, &sink), 0);
    }
    int32_t Status(uint32_t kind, uint32_t code, uint32_t first = 0) {
        return DefaultStatusProc(job, kind, code, first, 0, 0, nullptr);
    }
    int16_t End() {
        EXPECT_EQ(OutputClose(writer), 0);
        WriterDestroy(writer);
        return ImportJobEnd(job);
    }
};

TEST(ImportJobTest, ProgressReachesTheHost) {
    Host host;
    VrHostHooks hooks = host.Hooks();
    JobWithHooks run(&hooks);
    for (uint32_t percent : {0u, 10u, 55u, 100u, 250u, static_cast<uint32_t>(-300)}) {
        EXPECT_EQ(run.Status(0, 0, percent), 0);
    }
    EXPECT_EQ(run.End(), 0);
    const std::vector<int32_t> want = {0, 10, 55, 100, 100, 0};
    EXPECT_EQ(host.percents, want) << "percentages are clamped to 0..100";
}

// The record is read wherever it lies, as far as it is readable: on the stack, on the
// heap, or just before an unreadable page (an older, shorter record included).
TEST(ImportJobTest, HooksRecordPlacement) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    auto* pages = static_cast<uint8_t*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
    struct Case {
        const char* name;
        int where;  // 0 stack, 1 heap, 2 ending `gap` bytes before an unreadable page
        uint32_t size;
        std::size_t gap;
        bool wantProgress;
    };
    const Case cases[] = {
        {"stack", 0, sizeof(VrHostHooks), 0, true},
        {"stack, older record", 0, kVrHostHooksSizeV1, 0, true},
        {"stack, unknown size", 0, 24, 0, false},
        {"heap", 1, sizeof(VrHostHooks), 0, true},
        {"heap, older record", 1, kVrHostHooksSizeV1, 0, true},
        {"at a page's end", 2, sizeof(VrHostHooks), 0, true},
        {"older record at a page's end", 2, kVrHostHooksSizeV1, sizeof(VrHostHooks) - kVrHostHooksSizeV1, true},
        {"running into an unreadable page", 2, sizeof(VrHostHooks), sizeof(VrHostHooks) - kVrHostHooksSizeV1, false},
    };
    for (const Case& c : cases) {
        Host host;
        VrHostHooks stack = host.Hooks();
        auto heap = std::make_unique<VrHostHooks>(host.Hooks());
        auto* record = c.where == 0 ? &stack : c.where == 1 ? heap.get()
                                    : reinterpret_cast<VrHostHooks*>(pages + page - sizeof(VrHostHooks) + c.gap);
        if (c.where == 2) std::memcpy(record, &stack, std::min<std::size_t>(sizeof stack, page - (reinterpret_cast<uint8_t*>(record) - pages)));
        record->size = c.size;
        JobWithHooks run(record);
        EXPECT_EQ(run.Status(0, 0, 50), 0);
        EXPECT_EQ(run.End(), 0);
        EXPECT_EQ(host.percents, c.wantProgress ? std::vector<int32_t>{50} : std::vector<int32_t>{}) << c.name;
    }
    munmap(pages, 2 * page);
}

TEST(ImportJobTest, StatusSequences) {
    struct Step {
        uint32_t kind, code, first;
        int32_t wantAnswer;
    };
    struct Case {
        const char* name;
        bool (*stopAt)(int query);
        std::vector<Step> steps;
        int16_t wantEnd;
    };
    const auto never = [](int) { return false; };
    const auto always = [](int) { return true; };
    const uint32_t kMinus23 = static_cast<uint32_t>(-23);
    const std::vector<Case> cases = {
        {"clean run", never, {{0, 0, 50, 0}, {0, 0, 100, 0}}, 0},
        {"host stops and confirms", always, {{0, 0, 10, 1}, {2, 61, 0, 1}, {3, 61, 0, 0}}, 61},
        {"stop at the last check, not reported", always, {{0, 0, 100, 1}, {2, 61, 0, 1}}, 61},
        {"host asks, then takes it back", [](int query) { return query == 0; },
         {{0, 0, 10, 1}, {2, 61, 0, 0}, {0, 0, 20, 0}}, 0},
        {"first report wins", never, {{3, 27, 0, 0}, {3, 26, 0, 0}, {3, 61, 0, 0}}, 27},
        {"negative code", never, {{3, kMinus23, 0, 0}, {3, 7, 0, 0}}, -23},
        {"report before the stop wins", always, {{3, 7, 0, 0}, {0, 0, 5, 1}, {2, 61, 0, 1}}, 7},
        {"zero report is no failure", never, {{3, 0, 0, 0}}, 0},
        {"other kinds answer 0", always, {{1, 0, 0, 0}, {2, 60, 0, 0}, {4, 61, 0, 0}}, 0},
    };
    for (const Case& c : cases) {
        Host host;
        host.stopAt = c.stopAt;
        VrHostHooks hooks = host.Hooks();
        JobWithHooks run(&hooks);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            EXPECT_EQ(run.Status(s.kind, s.code, s.first), s.wantAnswer) << c.name << ", step " << i;
        }
        EXPECT_EQ(run.End(), c.wantEnd) << c.name;
    }
}

TEST(ImportJobTest, JobWithoutHooksRunsSilently) {
    for (uint64_t hostValue : {uint64_t{0}, uint64_t{7}, uint64_t{0x1000}}) {
        const ImportJobHandle job = ImportJobBegin(nullptr, "XPM Import", "", 0, 0, 0);
        ASSERT_NE(job, 0u);
        WriterHandle writer = WriterCreate(0);
        StatusSink sink{};
        sink.userData = job;
        sink.hostValue = hostValue;
        EXPECT_EQ(OutputOpen(writer, "", "", 0, nullptr, &sink), 0) << "host value " << hostValue;
        EXPECT_EQ(DefaultStatusProc(job, 0, 0, 40, 0, 0, nullptr), 0);
        EXPECT_EQ(DefaultStatusProc(job, 2, 61, 0, 0, 0, nullptr), 0);
        OutputClose(writer);
        WriterDestroy(writer);
        EXPECT_EQ(ImportJobEnd(job), 0);
    }
}

TEST(ImportJobTest, UnknownJobs) {
    const ImportJobHandle job = ImportJobBegin(nullptr, "t", "", 0, 0, 0);
    const ImportJobHandle other = ImportJobBegin(nullptr, "t", "", 0, 0, 0);
    EXPECT_NE(job, other);
    EXPECT_EQ(DefaultStatusProc(job, 3, 9, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(ImportJobEnd(job), 9);
    EXPECT_EQ(ImportJobEnd(other), 0) << "jobs do not share their outcome";
    for (ImportJobHandle stale : {job, ImportJobHandle{0}, ImportJobHandle{0xFFFF0001}}) {
        EXPECT_EQ(DefaultStatusProc(stale, 0, 0, 10, 0, 0, nullptr), 0);
        EXPECT_EQ(DefaultStatusProc(stale, 3, 9, 0, 0, 1, nullptr), 0);
        EXPECT_EQ(ImportJobEnd(stale), 27) << "a job that does not exist cannot vouch for an import";
    }
}

struct SeenEdit {
    static int32_t Edit(uint64_t a, uint64_t b, uint64_t c) {
        ++calls;
        args[0] = a;
        args[1] = b;
        args[2] = c;
        return 77;
    }
    static inline int calls = 0;
    static inline uint64_t args[3] = {};
};

TEST(PreferencesTest, EditRoutineRunsOnceWithTheHostArguments) {
    using Seen = SeenEdit;
    int host = 0;
    HGLOBAL setup = reinterpret_cast<HGLOBAL>(uintptr_t{0x5550});
    EXPECT_EQ(PreferencesRun(&host, setup, 0xABCDEF, &Seen::Edit, 1, "XPM Import"), 77);
    EXPECT_EQ(Seen::calls, 1);
    EXPECT_EQ(Seen::args[0], reinterpret_cast<uint64_t>(&host));
    EXPECT_EQ(Seen::args[1], 0x5550u);
    EXPECT_EQ(Seen::args[2], 0xABCDEFu);
    EXPECT_EQ(PreferencesRun(&host, setup, 0, nullptr, 1, "XPM Import"), 0);
}

}  // namespace
