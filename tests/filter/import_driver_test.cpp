// ImportFile and the import driver against the recording library: what is given back after a
// failure at each step, which codes are returned and which reported, what ImportFile takes
// from the request and what the run leaves in the record.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "filter/setup_record.h"
#include "recording_library.h"
#include "xpm_text.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr int64_t kUserData = 0x10AB;
using Script = std::function<void(RecordingLibrary&)>;

// `rows` rows of four pixels in two colours, or the given values line and row.
std::string Image(int rows, const std::string& values = "", const std::string& row = "abab") {
    std::vector<std::string> strings{values.empty() ? "4 " + std::to_string(rows) + " 2 1" : values,
                                     "a c #000000", "b c #FFFFFF"};
    strings.insert(strings.end(), rows, row);
    return XpmFile(strings);
}

// The driver's own calls in order, and the codes reported as "!code"; the decoder's calls left out.
std::string Trace(const RecordingLibrary& library) {
    static const std::set<std::string> kOps = {
        "StreamOpen",      "WriterCreate",  "WriterSetNames", "OutputOpen", "OutputStart",
        "WriterSetOption", "PictureBegin",  "WriterAbort",    "PictureEnd", "OutputFinish",
        "OutputClose",     "WriterDestroy", "StreamClose"};
    std::string out;
    for (const Call& call : library.calls) {
        if (kOps.count(call.op) != 0) out += call.op + " ";
        if (call.op == "Status" && call.args[1] == 3)
            out += "!" + std::to_string(static_cast<int32_t>(call.args[2])) + " ";
    }
    return out;
}

// A setup record, its request and status sink, run through ImportFile.
struct Driver : testing::Test {
    ~Driver() override { GlobalFree(setup); }
    int32_t Import(const char* name = "", const char* output = "") {
        return ImportFile(0, name, output, "/in.xpm", &request);
    }
    HGLOBAL setup = GlobalAlloc(GHND, sizeof(xpmfilter::SetupRecord));
    StatusSink sink{.userData = kUserData,
                    .statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc)};
    ImportRequest request{.setup = setup,
                          .optionSet = reinterpret_cast<OptionSetHandle>(uintptr_t{0x500}),
                          .names = {"", "", ""},
                          .statusSink = &sink};
};

TEST_F(Driver, ReleasesAndReportsAtEveryStep) {
    using Error = std::pair<int16_t, int16_t>;  // a writer error after the named operation
    const auto after = [](const char* op, int16_t code, int16_t detail) -> Script {
        return [=](RecordingLibrary& f) {
            f.writerError = [=](const std::string& last) {
                return last == op ? Error{code, detail} : Error{};
            };
        };
    };
    // Stop at the first progress call that reaches `percent`: 0 stops at the first row.
    const auto stopAt = [](uint32_t percent) -> Script {
        return [=](RecordingLibrary& f) {
            f.statusAnswer = [=](uint32_t kind, uint32_t code, uint32_t first, uint32_t) {
                return kind == 2 || (kind == 0 && code == 0 && first >= percent) ? 1 : 0;
            };
        };
    };
    const Script noStream = [](RecordingLibrary& f) { f.failStreamOpen = true; };
    const Script noWriter = [](RecordingLibrary& f) { f.failWriterCreate = true; };
    const Script noOutput = [](RecordingLibrary& f) {
        f.outputOpenResult = [] { return int16_t{301}; };
    };
    const Script closeFails = [](RecordingLibrary& f) {
        f.outputCloseResult = [] { return int16_t{302}; };
    };
    const std::string open = "StreamOpen WriterCreate WriterSetNames OutputOpen ",
                      begun = open + "OutputStart WriterSetOption ",
                      finish = "OutputFinish OutputClose WriterDestroy StreamClose ",
                      end = "PictureEnd " + finish, all = begun + "PictureBegin " + end,
                      closed = "OutputFinish OutputClose !14 WriterDestroy StreamClose ";
    struct Case {
        const char* name;
        std::string input = Image(3);
        Script script = {};
        int32_t want;
        std::string trace;  // the driver's calls and reports
    };
    // clang-format off
    const Case cases[] = {
        {.name = "clean", .want = 0, .trace = all},
        {.name = "no input", .script = noStream, .want = 7, .trace = "StreamOpen !7 "},
        {.name = "not XPM", .input = "hello", .want = -23, .trace = "StreamOpen !-23 StreamClose "},
        {.name = "no writer", .script = noWriter,
         .want = 27, .trace = "StreamOpen WriterCreate !27 StreamClose "},
        {.name = "no output", .script = noOutput,
         .want = 23, .trace = open + "!23 WriterDestroy StreamClose "},
        {.name = "no picture", .script = after("PictureBegin", 302, 269),
         .want = 9, .trace = begun + "PictureBegin !9 " + finish},
        {.name = "width 0: the decoder's report is passed on again", .input = Image(3, "0 3 2 1"),
         .want = 27, .trace = begun + "PictureBegin !27 !27 " + end},
        {.name = "a stop during the rows is reported", .script = stopAt(0),
         .want = 61, .trace = begun + "PictureBegin !61 " + end},
        {.name = "a stop at the last check is not", .script = stopAt(100),
         .want = 61, .trace = all},
        {.name = "a writer error at the last check", .script = after("BitmapEnd", 302, 0),
         .want = 14, .trace = begun + "PictureBegin WriterAbort !14 " + end},
        {.name = "a clean decode whose close fails", .script = closeFails,
         .want = 14, .trace = begun + "PictureBegin PictureEnd " + closed},
        {.name = "a failed decode whose close fails: its own code",
         .input = Image(3, "", "abzb"), .script = closeFails,
         .want = -1, .trace = begun + "PictureBegin !-1 PictureEnd " + closed},
        // 40 and -1 characters are refused: xpmimport's bad inputs, end to end.
        {.name = "39 chars per pixel reach the decoder", .input = Image(1, "4 1 2 39"),
         .want = -1, .trace = begun + "PictureBegin !-1 " + end},
        {.name = "0 chars per pixel reach the decoder", .input = Image(1, "4 1 2 0"),
         .want = 0, .trace = all},
    };
    // clang-format on
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = c.input;
        if (c.script) c.script(library);
        EXPECT_EQ(Import(), c.want) << c.name;
        EXPECT_EQ(Trace(library), c.trace) << c.name;
        EXPECT_TRUE(c.want != 0 || library.Find("Status").back()->args.at(3) == 100)
            << c.name << ": the last progress call is not 100";
    }
}

TEST_F(Driver, ImportFileCopiesTheRequestInAndLeavesTheRunsStateInTheRecord) {
    RecordingLibrary library;
    auto* record = static_cast<xpmfilter::SetupRecord*>(GlobalLock(setup));
    std::strcpy(record->requestNames[1], "kept");
    record->progressBase = record->progressRange = 9;
    request.names[0] = "first";
    request.names[1] = nullptr;  // keeps the record's text
    request.names[2] = "third";
    // After each run: the writer it made (destroyed by now), the input's length, the progress.
    struct Case {
        const char* name;
        std::string input;
        std::vector<int64_t> want;  // result, writer, input size, progress
    };
    const Case cases[] = {
        {"a clean run", Image(1), {0, 0x5100, int64_t(Image(1).size()), 100}},
        {"no XPM: no writer, the input not measured", "hello", {-23, 0, 77, 0}},
    };
    for (const Case& c : cases) {
        library.input = c.input;
        record->writer = reinterpret_cast<WriterHandle>(0xBAD);
        record->inputSize = record->progressPercent = 77;
        const int32_t result = Import("NAME", "OUTPUT");
        const std::vector<int64_t> got{result, int64_t(record->writer), record->inputSize,
                                       record->progressPercent};
        EXPECT_EQ(got, c.want) << c.name << ": result, writer, input size, progress";
    }
    GlobalUnlock(setup);
    EXPECT_EQ(library.Find("WriterSetNames")[0]->texts,
              (std::vector<std::string>{"first", "kept", "third"}));
    EXPECT_EQ(library.Find("OutputOpen")[0]->texts, (std::vector<std::string>{"OUTPUT", "NAME"}));
    EXPECT_EQ(library.Find("OutputOpen")[0]->args,
              (std::vector<int64_t>{0, 0x500, int64_t(&sink)}));
    const std::vector<int64_t>& range = library.Find("Status")[0]->args;
    EXPECT_EQ(std::vector<int64_t>(range.begin(), range.begin() + 5),
              (std::vector<int64_t>{kUserData, 0, 0xFFFFFFFF, 0, 100}))
        << "the progress range";
    // A longer output name than the record holds is refused, not cut to another file's name.
    library.calls.clear();
    EXPECT_EQ(Import(std::string(260, 'n').c_str()), 23);
    EXPECT_EQ(Trace(library), "!23 ");
}

TEST_F(Driver, ImportFileRefusesARecordItCannotUse) {
    struct Case {
        const char* name;
        bool freed, withSink;
    };
    const Case cases[] = {
        {.name = "freed", .freed = true, .withSink = true},
        {.name = "freed, no sink", .freed = true, .withSink = false},
        {.name = "too small for a record", .freed = false, .withSink = true},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        request.setup = GlobalAlloc(GHND, 64);
        if (c.freed) GlobalFree(request.setup);
        request.statusSink = c.withSink ? &sink : nullptr;
        EXPECT_EQ(Import(), -7) << c.name;
        EXPECT_EQ(JoinOps(library.calls), c.withSink ? "Status" : "") << c.name;
        EXPECT_TRUE(!c.withSink || std::vector<int64_t>(library.calls[0].args.begin(),
                                                        library.calls[0].args.begin() + 6) ==
                                       (std::vector<int64_t>{kUserData, 3, 0xFFFFFFF9, 0, 0, 0}))
            << c.name << ": not reported as -7 of class 0";
        if (!c.freed) GlobalFree(request.setup);
    }
    RecordingLibrary library;
    EXPECT_EQ(ImportFile(0, "", "", "", nullptr), -7) << "no request";
    EXPECT_TRUE(library.calls.empty());
}

}  // namespace
}  // namespace xpmtest
