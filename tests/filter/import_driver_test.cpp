// ImportFile and the import driver against the recording library: how the input is opened, what
// is given back after a failure at each step, and which codes are returned and which reported.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/setup_record.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr uint64_t kUserData = 0x10AB, kIoUserData = 0x77EE;
int32_t ReadNothing(uint64_t, void*, int32_t) { return 0; }

// `rows` rows of four pixels in two colours, or the given values line and row.
std::string Image(int rows, const std::string& values = "", const std::string& row = "abab") {
    std::string text = "/* XPM */\nstatic char *i[] = {\n\"" + (values.empty() ? "4 " + std::to_string(rows) + " 2 1" : values) +
                       "\",\n\"a c #000000\",\n\"b c #FFFFFF\",\n";
    for (int i = 0; i < rows; ++i) text += "\"" + row + "\",\n";
    return text + "};\n";
}

// One pixel, two colours whose codes have `chars` characters.
std::string WideCodes(int chars) {
    const std::string x(static_cast<size_t>(chars), 'x'), y(static_cast<size_t>(chars), 'y');
    return "/* XPM */\nstatic char *i[] = {\n\"1 1 2 " + std::to_string(chars) + "\",\n\"" + x + " c #102030\",\n\"" + y +
           " c #405060\",\n\"" + x + "\"\n};\n";
}

// The driver's own calls in order; the decoder's are left out.
std::string DriverOps(const RecordingLibrary& library) {
    static const std::set<std::string> kOps = {"StreamOpen", "WriterCreate", "WriterSetNames", "OutputOpen", "OutputStart",
                                               "WriterSetOption", "PictureBegin", "WriterAbort", "PictureEnd",
                                               "OutputFinish", "OutputClose", "WriterDestroy", "StreamClose"};
    std::vector<std::string> ops;
    for (const std::string& op : library.Ops())
        if (kOps.count(op) != 0) ops.push_back(op);
    return JoinOps(ops);
}

// The codes reported (kind 3), or the percentages of the progress calls (kind 0).
std::vector<int32_t> Statuses(const RecordingLibrary& library, int64_t kind) {
    std::vector<int32_t> out;
    for (const Call* call : library.Find("Status"))
        if (call->args[1] == kind && (kind == 3 || call->args[2] == 0))
            out.push_back(static_cast<int32_t>(call->args[kind == 3 ? 2 : 3]));
    return out;
}

// A setup record, its request and status sink, run through ImportFile.
class Driver : public testing::Test {
  protected:
    Driver() {
        sink.userData = kUserData;
        sink.statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc);
        request.setup = setup;
        request.optionSet = reinterpret_cast<OptionSetHandle>(uintptr_t{0x0500});
        request.names[0] = request.names[1] = request.names[2] = "";
        request.statusSink = &sink;
        request.ioUserData = kIoUserData;
    }
    ~Driver() override { GlobalFree(setup); }
    xpmfilter::SetupRecord* Lock() { return static_cast<xpmfilter::SetupRecord*>(GlobalLock(setup)); }
    int32_t Import(const char* path = "/in.xpm", const char* name = "", const char* spec = "") {
        return ImportFile(0, name, spec, path, &request);
    }
    HGLOBAL setup = GlobalAlloc(GHND, sizeof(xpmfilter::SetupRecord));
    StatusSink sink{};
    ImportRequest request{};
};

const char* const kAllSteps =
    "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart WriterSetOption PictureBegin PictureEnd "
    "OutputFinish OutputClose WriterDestroy StreamClose";
const char* const kNoPicture =
    "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart WriterSetOption OutputFinish OutputClose "
    "WriterDestroy StreamClose";

TEST_F(Driver, ReleasesAndReportsAtEveryStep) {
    using Script = std::function<void(RecordingLibrary&)>;
    struct Case {
        const char* what;
        std::string input;
        Script script;
        int32_t want;
        const char* wantOps;
        std::vector<int32_t> wantReports;
    };
    const Script none = [](RecordingLibrary&) {};
    const auto after = [](const char* op, int16_t code, int16_t detail) -> Script {
        return [=](RecordingLibrary& f) {
            f.writerError = [=](const std::string& last) {
                return last == op ? std::pair<int16_t, int16_t>{code, detail} : std::pair<int16_t, int16_t>{};
            };
        };
    };
    const Script closeFails = [](RecordingLibrary& f) { f.outputCloseResult = [] { return int16_t{302}; }; };
    // Stop at the first progress call that reaches `percent`: 0 stops at the first row.
    const auto stopAt = [](uint32_t percent) -> Script {
        return [=](RecordingLibrary& f) {
            f.statusAnswer = [=](uint32_t kind, uint32_t code, uint32_t first, uint32_t) {
                return kind == 2 || (kind == 0 && code == 0 && first >= percent) ? 1 : 0;
            };
        };
    };
    const Case cases[] = {
        {"clean", Image(3), none, 0, kAllSteps, {}},
        {"no input", Image(3), [](RecordingLibrary& f) { f.failStreamOpen = true; }, 7, "StreamOpen", {7}},
        {"not XPM", "hello world\n", none, -23, "StreamOpen StreamClose", {-23}},
        {"no writer", Image(3), [](RecordingLibrary& f) { f.failWriterCreate = true; }, 27,
         "StreamOpen WriterCreate StreamClose", {27}},
        {"no output", Image(3), [](RecordingLibrary& f) { f.outputOpenResult = [] { return int16_t{301}; }; }, 23,
         "StreamOpen WriterCreate WriterSetNames OutputOpen WriterDestroy StreamClose", {23}},
        {"no picture", Image(3), after("PictureBegin", 302, 269), 9,
         "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart WriterSetOption PictureBegin OutputFinish "
         "OutputClose WriterDestroy StreamClose", {9}},
        {"an unknown pixel code", Image(3, "", "abzb"), none, -1, kAllSteps, {-1}},
        {"width 0: the decoder's report is passed on again", Image(3, "0 3 2 1"), none, 27, kAllSteps, {27, 27}},
        {"stop during the rows: reported", Image(3), stopAt(0), 61, kAllSteps, {61}},
        {"stop at the last check: not reported", Image(3), stopAt(100), 61, kAllSteps, {}},
        {"a writer error at the last check", Image(3), after("BitmapEnd", 302, 0), 14,
         "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart WriterSetOption PictureBegin WriterAbort "
         "PictureEnd OutputFinish OutputClose WriterDestroy StreamClose", {14}},
        {"a clean decode whose close fails", Image(3), closeFails, 14, kAllSteps, {14}},
        {"a failed decode whose close fails", Image(3, "", "abzb"), closeFails, -1, kAllSteps, {-1, 14}},
        {"the writer stopped at the finish", Image(3), after("OutputFinish", 901, 0), 61, kAllSteps, {}},
        {"40 chars per pixel", Image(1, "4 1 2 40"), none, -23, kNoPicture, {-23}},
        {"-1 chars per pixel", Image(1, "4 1 2 -1"), none, -23, kNoPicture, {-23}},
        {"refused values whose close fails", Image(1, "4 1 2 40"), closeFails, -23, kNoPicture, {-23, 14}},
        {"39 chars per pixel", WideCodes(39), none, 0, kAllSteps, {}},
        {"0 chars per pixel", WideCodes(0), none, 0, kAllSteps, {}},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = c.input;
        c.script(library);
        EXPECT_EQ(Import(), c.want) << c.what;
        EXPECT_EQ(DriverOps(library), c.wantOps) << c.what;
        EXPECT_EQ(Statuses(library, 3), c.wantReports) << c.what;
        EXPECT_EQ(library.OpenStreams() + library.LiveWriters(), 0u) << c.what << ": a stream or writer left";
        if (c.want != 0) continue;
        const auto progress = Statuses(library, 0);
        EXPECT_TRUE(!progress.empty() && progress.back() == 100) << c.what << ": the last progress call";
        EXPECT_EQ(Lock()->progressPercent, 100) << c.what;
        GlobalUnlock(setup);
    }
}

TEST_F(Driver, OpensTheInputByTheFirstRuleThatApplies) {
    struct Case {
        const char* what;
        bool routine;
        const char* path;
        bool failOpen;
        const char* wantPath;
        char wantSource;  // 'f' file, 'r' routine, 'm' memory
    };
    const Case cases[] = {
        {"a routine wins over a path and memory", true, "/in.xpm", false, "/in.xpm", 'r'},
        {"memory and a path: the file", false, "/in.xpm", false, "/in.xpm", 'f'},
        {"memory and an empty path", false, "", false, "<null>", 'm'},
        {"memory that cannot be opened", false, "", true, "<null>", 'm'},
    };
    const std::string input = Image(2);
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = input;
        library.failStreamOpen = c.failOpen;
        HGLOBAL memory = GlobalAlloc(GHND, input.size());
        std::memcpy(GlobalLock(memory), input.data(), input.size());
        GlobalUnlock(memory);
        sink.dataHandle = reinterpret_cast<uint64_t>(memory);
        Lock()->options.ioRoutine = c.routine ? reinterpret_cast<uint64_t>(&ReadNothing) : 0;
        GlobalUnlock(setup);
        // Counted at the progress-range call, before the decoder locks a band buffer of its own.
        const uint64_t locks = WinshimGetCounts().globalLocks;
        uint64_t locksDuring = 0;
        library.statusAnswer = [&](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
            if (kind == 0 && code == 0xFFFFFFFFu) locksDuring = WinshimGetCounts().globalLocks;
            return 0;
        };
        EXPECT_EQ(Import(c.path), c.failOpen ? 7 : 0) << c.what;
        ASSERT_EQ(library.Count("StreamOpen"), 1u) << c.what;
        const Call& open = *library.Find("StreamOpen")[0];
        EXPECT_EQ(open.texts[0], c.wantPath) << c.what;
        const std::vector<int64_t> want =
            c.wantSource == 'f'   ? std::vector<int64_t>{}
            : c.wantSource == 'r' ? std::vector<int64_t>{kIoUserData, 0, int64_t(&ReadNothing)}
                                  : std::vector<int64_t>{open.args.at(2), int64_t(input.size()), 0};
        EXPECT_EQ(std::vector<int64_t>(open.args.begin() + 2, open.args.end()), want) << c.what << ": source";
        EXPECT_TRUE(c.wantSource != 'm' || open.args[2] != 0) << c.what;
        // The record is locked by ImportFile for the whole import, the memory by the driver.
        EXPECT_EQ(locksDuring, c.failOpen ? 0 : locks + (c.wantSource == 'm' ? 2 : 1)) << c.what;
        EXPECT_EQ(WinshimGetCounts().globalLocks, locks) << c.what;
        GlobalFree(memory);
    }
}

TEST_F(Driver, ImportFileCopiesTheRequestIntoTheRecord) {
    RecordingLibrary library;
    library.input = Image(1);
    xpmfilter::SetupRecord* record = Lock();
    std::strcpy(record->requestNames[1], "kept");
    record->progressBase = record->progressRange = 9;
    GlobalUnlock(setup);
    request.names[0] = "first";
    request.names[1] = nullptr;  // keeps the record's text
    request.names[2] = "third";
    EXPECT_EQ(Import("/in.xpm", "NAME", "SPEC"), 0);
    EXPECT_EQ(library.Find("WriterSetNames")[0]->texts, (std::vector<std::string>{"first", "kept", "third"}));
    EXPECT_EQ(library.Find("StreamOpen")[0]->texts, std::vector<std::string>{"/in.xpm"});
    const Call& open = *library.Find("OutputOpen")[0];
    EXPECT_EQ(open.texts, (std::vector<std::string>{"SPEC", "NAME"}));
    EXPECT_EQ(open.args, (std::vector<int64_t>{0, 0x0500, int64_t(&sink)}));
    const std::vector<int64_t>& range = library.Find("Status")[0]->args;
    EXPECT_EQ(std::vector<int64_t>(range.begin(), range.begin() + 5),
              (std::vector<int64_t>{kUserData, 0, 0xFFFFFFFF, 0, 100})) << "the progress range";
}

TEST_F(Driver, ImportFileRefusesARecordItCannotUse) {
    struct Case {
        const char* what;
        size_t size;
        bool freed, withSink, withProc;
    };
    const Case cases[] = {
        {"freed", sizeof(xpmfilter::SetupRecord), true, true, true},
        {"freed, no status procedure", sizeof(xpmfilter::SetupRecord), true, true, false},
        {"freed, no status sink", sizeof(xpmfilter::SetupRecord), true, false, false},
        {"too small for a record", 64, false, true, true},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = Image(1);
        ImportRequest other = request;
        StatusSink otherSink = sink;
        other.setup = GlobalAlloc(GHND, c.size);
        if (c.freed) GlobalFree(other.setup);
        otherSink.statusProc = c.withProc ? sink.statusProc : 0;
        other.statusSink = c.withSink ? &otherSink : nullptr;
        EXPECT_EQ(ImportFile(0, "", "", "/in.xpm", &other), -7) << c.what;
        EXPECT_EQ(JoinOps(library.Ops()), c.withProc ? "Status" : "") << c.what;
        if (c.withProc) {
            const std::vector<int64_t>& args = library.Find("Status")[0]->args;
            EXPECT_EQ(std::vector<int64_t>(args.begin(), args.begin() + 6),
                      (std::vector<int64_t>{kUserData, 3, 0xFFFFFFF9, 0, 0, 0})) << c.what;
        }
        if (!c.freed) GlobalFree(other.setup);
    }
    RecordingLibrary library;
    EXPECT_EQ(ImportFile(0, "", "", "", nullptr), -7) << "no request";
    EXPECT_TRUE(library.calls.empty());
}

}  // namespace
}  // namespace xpmtest
