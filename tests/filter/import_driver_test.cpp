// Tests of ImportFile and the import driver against the recording fake: how the input is
// opened, what is given back after a failure at each step, which codes are returned and
// which are reported, and the progress calls of a clean import.
#include "filter/import_driver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/setup_record.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace {

using namespace xpmfilter;
using xpmtest::JoinOps;
using xpmtest::RecordingLibrary;

constexpr uint64_t kUserData = 0x10AB;
constexpr uint64_t kIoUserData = 0x77EE;

// An XPM image of `rows` rows of four pixels, two colours, with the given values line.
std::string Image(int rows, const std::string& values = "", const std::string& row = "abab") {
    std::string text = "/* XPM */\nstatic char *image[] = {\n\"";
    text += values.empty() ? "4 " + std::to_string(rows) + " 2 1" : values;
    text += "\",\n\"a c #000000\",\n\"b c #FFFFFF\",\n";
    for (int i = 0; i < rows; ++i) text += "\"" + row + "\",\n";
    text += "};\n";
    return text;
}

// A one-pixel image with two colours whose pixel codes have `chars` characters. (A single
// definition would fail the decoder's colour-key scan, which needs a second string.)
std::string WideCodeImage(int chars) {
    const std::string x(static_cast<size_t>(chars), 'x');
    const std::string y(static_cast<size_t>(chars), 'y');
    return "/* XPM */\nstatic char *image[] = {\n\"1 1 2 " + std::to_string(chars) + "\",\n\"" +
           x + " c #102030\",\n\"" + y + " c #405060\",\n\"" + x + "\"\n};\n";
}

// The operations the driver itself calls, in order; the decoder's own calls are left out.
std::string DriverOps(const RecordingLibrary& fake) {
    static const std::set<std::string> kDriverOps = {
        "StreamOpen",   "WriterCreate", "WriterSetNames", "OutputOpen",  "OutputStart",
        "WriterSetOption", "PictureBegin", "PictureEnd",  "OutputFinish", "OutputClose",
        "WriterDestroy", "StreamClose",
    };
    std::vector<std::string> ops;
    for (const std::string& op : fake.Ops())
        if (kDriverOps.count(op) != 0) ops.push_back(op);
    return JoinOps(ops);
}

std::vector<int32_t> Reports(const RecordingLibrary& fake) {
    std::vector<int32_t> codes;
    for (const xpmtest::Call* call : fake.Find("Status"))
        if (call->args[1] == 3) codes.push_back(static_cast<int32_t>(call->args[2]));
    return codes;
}

// Progress calls (kind 0, code 0) as their percentages.
std::vector<int64_t> ProgressCalls(const RecordingLibrary& fake) {
    std::vector<int64_t> percents;
    for (const xpmtest::Call* call : fake.Find("Status"))
        if (call->args[1] == 0 && call->args[2] == 0) percents.push_back(call->args[3]);
    return percents;
}

// One setup record, its request and status sink, run through ImportFile.
class DriverTest : public testing::Test {
  protected:
    void SetUp() override {
        setup_ = GlobalAlloc(GHND, sizeof(SetupRecord));
        ASSERT_NE(setup_, nullptr);
        Record()->magic = kSetupMagic;
        GlobalUnlock(setup_);
        sink_.userData = kUserData;
        sink_.statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc);
        request_.setup = setup_;
        request_.optionSet = reinterpret_cast<OptionSetHandle>(uintptr_t{0x0500});
        request_.names[0] = request_.names[1] = request_.names[2] = "";
        request_.statusSink = &sink_;
        request_.ioUserData = kIoUserData;
    }
    void TearDown() override {
        if (memory_ != nullptr) GlobalFree(memory_);
        GlobalFree(setup_);
    }

    // Locks the record; the caller unlocks with Unlock().
    SetupRecord* Record() { return static_cast<SetupRecord*>(GlobalLock(setup_)); }
    void Unlock() { GlobalUnlock(setup_); }

    void SetRoutine(uint64_t routine) {
        Record()->options.ioRoutine = routine;
        Unlock();
    }
    void UseMemory() {
        memory_ = GlobalAlloc(GHND, 64);
        sink_.dataHandle = reinterpret_cast<uintptr_t>(memory_);
    }

    int32_t Import(const char* path = "/input.xpm", const char* name = "",
                   const char* outputSpec = "") {
        return ImportFile(0, name, outputSpec, path, &request_);
    }

    HGLOBAL setup_ = nullptr;
    HGLOBAL memory_ = nullptr;
    StatusSink sink_{};
    ImportRequest request_{};
};

constexpr const char* kAllSteps =
    "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart WriterSetOption PictureBegin "
    "PictureEnd OutputFinish OutputClose WriterDestroy StreamClose";
constexpr const char* kRefusedBeforePicture =
    "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart WriterSetOption "
    "OutputFinish OutputClose WriterDestroy StreamClose";

TEST_F(DriverTest, ReleasesAndReportsAtEveryStep) {
    struct Case {
        const char* name;
        std::function<void(RecordingLibrary&)> script;
        std::string input;
        int32_t want;
        const char* wantOps;
        std::vector<int32_t> wantReports;
    };
    auto stopAtRows = [](RecordingLibrary& f) {
        f.statusAnswer = [](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
            return (kind == 0 && code == 0) || kind == 2 ? 1 : 0;
        };
    };
    auto closeFails = [](RecordingLibrary& f) { f.outputCloseResult = [] { return int16_t{302}; }; };
    auto errorAfter = [](const char* op, int16_t code, int16_t detail) {
        return [=](RecordingLibrary& f) {
            f.writerError = [=](const std::string& last) {
                return last == op ? std::pair<int16_t, int16_t>{code, detail}
                                  : std::pair<int16_t, int16_t>{0, 0};
            };
        };
    };
    const Case cases[] = {
        {"clean", [](RecordingLibrary&) {}, Image(3), 0, kAllSteps, {}},
        {"input cannot be opened", [](RecordingLibrary& f) { f.failStreamOpen = true; }, Image(3),
         7, "StreamOpen", {7}},
        {"not XPM", [](RecordingLibrary&) {}, "hello world\n", -23, "StreamOpen StreamClose",
         {-23}},
        {"XPM2 header", [](RecordingLibrary&) {}, "/* XPM2 */\n\"4 1 1 1\"\n", -23,
         "StreamOpen StreamClose", {-23}},
        {"empty input", [](RecordingLibrary&) {}, "", -23, "StreamOpen StreamClose", {-23}},
        {"writer cannot be created", [](RecordingLibrary& f) { f.failWriterCreate = true; },
         Image(3), 27, "StreamOpen WriterCreate StreamClose", {27}},
        {"output cannot be opened",
         [](RecordingLibrary& f) { f.outputOpenResult = [] { return int16_t{301}; }; }, Image(3),
         23, "StreamOpen WriterCreate WriterSetNames OutputOpen WriterDestroy StreamClose", {23}},
        {"output cannot be started", errorAfter("OutputStart", 300, 0), Image(3), 27,
         "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart OutputClose "
         "WriterDestroy StreamClose",
         {27}},
        {"picture cannot be begun", errorAfter("PictureBegin", 302, 269), Image(3), 9,
         "StreamOpen WriterCreate WriterSetNames OutputOpen OutputStart WriterSetOption "
         "PictureBegin OutputFinish OutputClose WriterDestroy StreamClose",
         {9}},
        {"unknown pixel code", [](RecordingLibrary&) {}, Image(3, "", "abzb"), -1, kAllSteps,
         {-1}},
        {"stop during the rows", stopAtRows, Image(3), 61, kAllSteps, {61}},
        {"width 0: the decoder's report is passed on again", [](RecordingLibrary&) {},
         Image(3, "0 3 2 1"), 27, kAllSteps, {27, 27}},
        {"decode fails and close fails: the decoder's code", closeFails, Image(3, "", "abzb"), -1,
         kAllSteps, {-1, 14}},
        {"clean decode, close fails: the close's code", closeFails, Image(3), 14, kAllSteps,
         {14}},
        {"clean decode, writer stopped at finish", errorAfter("OutputFinish", 901, 0), Image(3), 61,
         kAllSteps, {}},
        {"chars per pixel 40", [](RecordingLibrary&) {}, Image(1, "4 1 2 40"), -23,
         kRefusedBeforePicture, {-23}},
        {"chars per pixel 41", [](RecordingLibrary&) {}, Image(1, "4 1 2 41"), -23,
         kRefusedBeforePicture, {-23}},
        {"chars per pixel -1", [](RecordingLibrary&) {}, Image(1, "4 1 2 -1"), -23,
         kRefusedBeforePicture, {-23}},
        {"chars per pixel -2147483648", [](RecordingLibrary&) {}, Image(1, "4 1 2 -2147483648"),
         -23, kRefusedBeforePicture, {-23}},
        {"chars per pixel 39 passes the driver", [](RecordingLibrary&) {}, WideCodeImage(39), 0,
         kAllSteps, {}},
        {"chars per pixel 0 passes the driver", [](RecordingLibrary&) {}, WideCodeImage(0), 0,
         kAllSteps, {}},
        {"refused values, close fails: still -23", closeFails, Image(1, "4 1 2 41"), -23,
         kRefusedBeforePicture, {-23, 14}},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = c.input;
        c.script(fake);
        int32_t got = Import();
        EXPECT_EQ(got, c.want) << c.name << ": got " << got << ", want " << c.want;
        EXPECT_EQ(DriverOps(fake), c.wantOps) << c.name;
        EXPECT_EQ(Reports(fake), c.wantReports) << c.name;
        EXPECT_EQ(fake.OpenStreams(), 0u) << c.name << ": every stream closed";
        EXPECT_EQ(fake.LiveWriters(), 0u) << c.name << ": every writer destroyed";
        EXPECT_EQ(fake.Count("WriterAbort"), 0u) << c.name;
        EXPECT_EQ(WinshimGetCounts().globalLocks, 0u) << c.name;
    }
}

TEST_F(DriverTest, TheLastProgressCheck) {
    // Stop (not reported, no abort) or a writer error (reported, aborts) at the eleventh
    // progress call of a ten-row image, after the decoder has succeeded.
    for (bool stop : {true, false}) {
        RecordingLibrary fake;
        fake.input = Image(10);
        int progressCalls = 0;
        bool armed = false;
        fake.statusAnswer = [&](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
            const bool last = kind == 0 && code == 0 && ++progressCalls == 11;
            if (last) armed = true;
            return stop && (last || kind == 2) ? 1 : 0;
        };
        fake.writerError = [&](const std::string&) {
            if (stop || !armed) return std::pair<int16_t, int16_t>{0, 0};
            armed = false;
            return std::pair<int16_t, int16_t>{302, 0};
        };
        const char* what = stop ? "stop" : "writer error";
        EXPECT_EQ(Import(), stop ? 61 : 14) << what;
        EXPECT_EQ(progressCalls, 11) << what;
        EXPECT_EQ(Reports(fake), stop ? std::vector<int32_t>{} : std::vector<int32_t>{14}) << what;
        EXPECT_EQ(fake.Count("WriterAbort"), stop ? 0u : 1u) << what;
        EXPECT_EQ(DriverOps(fake), kAllSteps) << what;
    }
}

TEST_F(DriverTest, ACleanTenRowImageSendsElevenProgressCalls) {
    RecordingLibrary fake;
    fake.input = Image(10);
    EXPECT_EQ(Import(), 0);
    std::vector<int64_t> progress = ProgressCalls(fake);
    ASSERT_EQ(progress.size(), 11u) << "one per row and one at the end";
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << "progress never falls";
    // The range goes first, once.
    auto status = fake.Find("Status");
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status[0]->args[1], 0);
    EXPECT_EQ(status[0]->args[2], 0xFFFFFFFFll);
    EXPECT_EQ(status[0]->args[3], 0);
    EXPECT_EQ(status[0]->args[4], 100);
    EXPECT_EQ(status[0]->args[0], static_cast<int64_t>(kUserData));
    SetupRecord* record = Record();
    EXPECT_EQ(record->progressPercent, 100);
    EXPECT_EQ(record->inputSize, static_cast<int32_t>(fake.input.size()));
    EXPECT_EQ(record->writer, reinterpret_cast<WriterHandle>(uintptr_t{0x5100}))
        << "the destroyed writer's value stays";
    Unlock();
}

TEST_F(DriverTest, OpensTheInputByTheFirstRuleThatApplies) {
    struct Case {
        const char* name;
        bool routine, memory;
        const char* path;
        bool failOpen;
        const char* wantPath;
        const char* wantKind;  // "file", "routine", "memory"
    };
    const Case cases[] = {
        {"routine wins over path and memory", true, true, "/input.xpm", false, "/input.xpm",
         "routine"},
        {"memory and a path: the file", false, true, "/input.xpm", false, "/input.xpm", "file"},
        {"memory and an empty path", false, true, "", false, "<null>", "memory"},
        {"memory that cannot be opened", false, true, "", true, "<null>", "memory"},
    };
    constexpr uint64_t kRoutine = 0xFEED0000;
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = Image(2);
        fake.failStreamOpen = c.failOpen;
        SetRoutine(c.routine ? kRoutine : 0);
        if (c.memory) UseMemory();
        const uint64_t locksBefore = WinshimGetCounts().globalLocks;
        // Taken at the progress-range call, before the decoder locks a band buffer of its own.
        uint64_t locksDuring = 0;
        fake.statusAnswer = [&](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
            if (kind == 0 && code == 0xFFFFFFFFu) locksDuring = WinshimGetCounts().globalLocks;
            return 0;
        };
        EXPECT_EQ(Import(c.path), c.failOpen ? 7 : 0) << c.name;
        ASSERT_EQ(fake.Count("StreamOpen"), 1u) << c.name;
        const xpmtest::Call& open = *fake.Find("StreamOpen")[0];
        EXPECT_EQ(open.texts[0], c.wantPath) << c.name;
        const std::string kind = c.wantKind;
        // The record itself is locked by ImportFile for the whole import.
        const uint64_t wantLocksDuring = locksBefore + (kind == "memory" ? 2 : 1);
        const std::vector<int64_t> wantSource =
            kind == "file"      ? std::vector<int64_t>{}
            : kind == "routine" ? std::vector<int64_t>{int64_t(kIoUserData), 0, int64_t(kRoutine)}
                                : std::vector<int64_t>{open.args.at(2), 64, 0};
        EXPECT_EQ(std::vector<int64_t>(open.args.begin() + std::min<size_t>(2, open.args.size()),
                                       open.args.end()),
                  wantSource) << c.name << ": StreamSource (data, size, routine)";
        if (kind == "memory") {
            EXPECT_NE(open.args[2], 0) << c.name;
        }
        if (!c.failOpen) {
            EXPECT_EQ(locksDuring, wantLocksDuring) << c.name;
        }
        EXPECT_EQ(WinshimGetCounts().globalLocks, locksBefore) << c.name << ": all unlocked";
        if (memory_ != nullptr) {
            GlobalFree(memory_);
            memory_ = nullptr;
            sink_.dataHandle = 0;
        }
    }
}

TEST_F(DriverTest, ImportFileCopiesTheRequestIntoTheRecord) {
    RecordingLibrary fake;
    fake.input = Image(1);
    SetupRecord* record = Record();
    std::strcpy(record->requestNames[1], "kept");
    record->writer = reinterpret_cast<WriterHandle>(uintptr_t{0xDEAD});
    record->progressPercent = 55;
    record->progressBase = 9;
    record->progressRange = 9;
    Unlock();
    request_.names[0] = "first";
    request_.names[1] = nullptr;
    request_.names[2] = "third";
    EXPECT_EQ(Import("/input.xpm", "NAME", "OUTSPEC"), 0);
    ASSERT_EQ(fake.Count("WriterSetNames"), 1u);
    EXPECT_EQ(fake.Find("WriterSetNames")[0]->texts,
              (std::vector<std::string>{"first", "kept", "third"}));
    const xpmtest::Call& open = *fake.Find("OutputOpen")[0];
    EXPECT_EQ(open.texts, (std::vector<std::string>{"OUTSPEC", "NAME"}));
    EXPECT_EQ(open.args[1], 0x0500) << "the request's option set";
    EXPECT_EQ(fake.sinkAtOpen, &sink_);
    const xpmtest::Call& range = *fake.Find("Status")[0];
    EXPECT_EQ(range.args[3], 0) << "progressBase";
    EXPECT_EQ(range.args[4], 100) << "progressRange";
    record = Record();
    EXPECT_STREQ(record->sourcePath, "/input.xpm");
    EXPECT_STREQ(record->outputName, "NAME");
    EXPECT_STREQ(record->outputSpec, "OUTSPEC");
    EXPECT_EQ(record->request, &request_);
    EXPECT_EQ(record->statusSink, &sink_);
    EXPECT_EQ(record->optionSet, request_.optionSet);
    Unlock();
}

TEST_F(DriverTest, ImportFileCutsOverlongTexts) {
    RecordingLibrary fake;
    fake.input = Image(1);
    const std::string longName(400, 'n');
    const std::string longPath(9000, 'p');
    request_.names[0] = longName.c_str();
    EXPECT_EQ(Import(longPath.c_str(), longName.c_str(), longName.c_str()), 0);
    EXPECT_EQ(fake.Find("WriterSetNames")[0]->texts[0], std::string(259, 'n'));
    EXPECT_EQ(fake.Find("StreamOpen")[0]->texts[0], std::string(8191, 'p'));
    EXPECT_EQ(fake.Find("OutputOpen")[0]->texts[1], std::string(259, 'n'));
}

TEST_F(DriverTest, ImportFileClearsTheWriterBeforeAFailedOpen) {
    RecordingLibrary fake;
    fake.failStreamOpen = true;
    Record()->writer = reinterpret_cast<WriterHandle>(uintptr_t{0xDEAD});
    Unlock();
    EXPECT_EQ(Import(), 7);
    EXPECT_EQ(Record()->writer, nullptr);
    Unlock();
}

TEST_F(DriverTest, ImportFileWithASetupThatCannotBeUsed) {
    struct Case {
        const char* name;
        bool small;  // a block too small for a record, else a freed one
        bool withSink, withProc;
    };
    const Case cases[] = {
        {"freed, status procedure told", false, true, true},
        {"freed, no status procedure", false, true, false},
        {"freed, no status sink", false, false, false},
        {"too small, status procedure told", true, true, true},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = Image(1);
        HGLOBAL block = GlobalAlloc(GHND, c.small ? 64 : sizeof(SetupRecord));
        if (!c.small) GlobalFree(block);
        ImportRequest request = request_;
        request.setup = block;
        StatusSink sink = sink_;
        if (!c.withProc) sink.statusProc = 0;
        request.statusSink = c.withSink ? &sink : nullptr;
        EXPECT_EQ(ImportFile(0, "", "", "/input.xpm", &request), -7) << c.name;
        if (c.withProc) {
            ASSERT_EQ(JoinOps(fake.Ops()), "Status") << c.name;
            const auto& args = fake.Find("Status")[0]->args;
            EXPECT_EQ(args[0], static_cast<int64_t>(kUserData)) << c.name;
            EXPECT_EQ(args[1], 3) << c.name;
            EXPECT_EQ(args[2], 0xFFFFFFF9ll) << c.name << ": -7";
            EXPECT_EQ(args[5], 0) << c.name << ": class 0";
        } else {
            EXPECT_TRUE(fake.calls.empty()) << c.name << ": got " << JoinOps(fake.Ops());
        }
        if (c.small) GlobalFree(block);
    }
    RecordingLibrary fake;
    EXPECT_EQ(ImportFile(0, "", "", "", nullptr), -7) << "no request at all";
    EXPECT_TRUE(fake.calls.empty());
}

}  // namespace
