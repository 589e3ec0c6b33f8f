// ImportFile and the import driver against the recording library: what is given back after a
// failure at each step, which codes are returned and which reported, and what ImportFile takes
// from the request. (How the input is opened is seen through the entry points.)
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "filter/input_source.h"
#include "filter/setup_record.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr int64_t kUserData = 0x10AB;

// `rows` rows of four pixels in two colours, or the given values line and row.
std::string Image(int rows, const std::string& values = "", const std::string& row = "abab") {
    std::string text = "/* XPM */\nstatic char *i[] = {\n\"" +
                       (values.empty() ? "4 " + std::to_string(rows) + " 2 1" : values) +
                       "\",\n\"a c #000000\",\n\"b c #FFFFFF\",\n";
    for (int i = 0; i < rows; ++i) text += "\"" + row + "\",\n";
    return text + "};\n";
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
    StatusSink sink{0, {}, kUserData, reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc)};
    ImportRequest request{
        0, {}, setup, reinterpret_cast<OptionSetHandle>(uintptr_t{0x500}), {"", "", ""}, &sink};
};

TEST_F(Driver, ReleasesAndReportsAtEveryStep) {
    using Script = std::function<void(RecordingLibrary&)>;
    struct Case {
        const char* what;
        std::string input;
        Script script;
        int32_t want;
        std::string wantTrace;
    };
    const Script none = [](RecordingLibrary&) {};
    const Script closeFails = [](RecordingLibrary& f) {
        f.outputCloseResult = [] { return int16_t{302}; };
    };
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
    const std::string open = "StreamOpen WriterCreate WriterSetNames OutputOpen ",
                      begun = open + "OutputStart WriterSetOption ";
    const std::string finish = "OutputFinish OutputClose WriterDestroy StreamClose ",
                      end = "PictureEnd " + finish;
    const std::string all = begun + "PictureBegin " + end;
    const std::string closed = "OutputFinish OutputClose !14 WriterDestroy StreamClose ";
    const Case cases[] = {
        {"clean", Image(3), none, 0, all},
        {"no input", Image(3), [](RecordingLibrary& f) { f.failStreamOpen = true; }, 7,
         "StreamOpen !7 "},
        {"not XPM", "hello world\n", none, -23, "StreamOpen !-23 StreamClose "},
        {"no writer", Image(3), [](RecordingLibrary& f) { f.failWriterCreate = true; }, 27,
         "StreamOpen WriterCreate !27 StreamClose "},
        {"no output", Image(3),
         [](RecordingLibrary& f) { f.outputOpenResult = [] { return int16_t{301}; }; }, 23,
         open + "!23 WriterDestroy StreamClose "},
        {"no picture", Image(3), after("PictureBegin", 302, 269), 9,
         begun + "PictureBegin !9 " + finish},
        {"an unknown pixel code", Image(3, "", "abzb"), none, -1,
         begun + "PictureBegin !-1 " + end},
        {"width 0: the decoder's report is passed on again", Image(3, "0 3 2 1"), none, 27,
         begun + "PictureBegin !27 !27 " + end},
        {"stop during the rows: reported", Image(3), stopAt(0), 61,
         begun + "PictureBegin !61 " + end},
        {"stop at the last check: not reported", Image(3), stopAt(100), 61, all},
        {"a writer error at the last check", Image(3), after("BitmapEnd", 302, 0), 14,
         begun + "PictureBegin WriterAbort !14 " + end},
        {"a clean decode whose close fails", Image(3), closeFails, 14,
         begun + "PictureBegin PictureEnd " + closed},
        {"a failed decode whose close fails", Image(3, "", "abzb"), closeFails, -1,
         begun + "PictureBegin !-1 PictureEnd " + closed},
        {"the writer stopped at the finish", Image(3), after("OutputFinish", 901, 0), 61, all},
        {"40 chars per pixel", Image(1, "4 1 2 40"), none, -23, begun + "!-23 " + finish},
        {"-1 chars per pixel", Image(1, "4 1 2 -1"), none, -23, begun + "!-23 " + finish},
        {"refused values whose close fails", Image(1, "4 1 2 40"), closeFails, -23,
         begun + "!-23 " + closed},
        {"39 chars per pixel reach the decoder", Image(1, "4 1 2 39"), none, -1,
         begun + "PictureBegin !-1 " + end},
        {"0 chars per pixel reach the decoder", Image(1, "4 1 2 0"), none, 0, all},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = c.input;
        c.script(library);
        EXPECT_EQ(Import(), c.want) << c.what;
        EXPECT_EQ(Trace(library), c.wantTrace) << c.what;
        EXPECT_TRUE(c.want != 0 || library.Find("Status").back()->args.at(3) == 100)
            << c.what << ": the last progress call";
    }
}

TEST_F(Driver, ImportFileCopiesTheRequestIntoTheRecord) {
    RecordingLibrary library;
    library.input = Image(1);
    auto* record = static_cast<xpmfilter::SetupRecord*>(GlobalLock(setup));
    std::strcpy(record->requestNames[1], "kept");
    record->progressBase = record->progressRange = 9;
    GlobalUnlock(setup);
    request.names[0] = "first";
    request.names[1] = nullptr;  // keeps the record's text
    request.names[2] = "third";
    EXPECT_EQ(Import("NAME", "OUTPUT"), 0);
    EXPECT_EQ(library.Find("WriterSetNames")[0]->texts,
              (std::vector<std::string>{"first", "kept", "third"}));
    EXPECT_EQ(library.Find("OutputOpen")[0]->texts, (std::vector<std::string>{"OUTPUT", "NAME"}));
    EXPECT_EQ(library.Find("OutputOpen")[0]->args,
              (std::vector<int64_t>{0, 0x500, int64_t(&sink)}));
    const std::vector<int64_t>& range = library.Find("Status")[0]->args;
    EXPECT_EQ(std::vector<int64_t>(range.begin(), range.begin() + 5),
              (std::vector<int64_t>{kUserData, 0, 0xFFFFFFFF, 0, 100}));
    // A longer output name than the record holds is refused, not cut to another file's name.
    library.calls.clear();
    EXPECT_EQ(Import(std::string(260, 'n').c_str()), 23);
    EXPECT_EQ(Trace(library), "!23 ");
}

TEST_F(Driver, ImportFileRefusesARecordItCannotUse) {
    struct Case {
        const char* what;
        bool freed, withSink, withProc;
    };
    const Case cases[] = {{"freed", true, true, true},
                          {"freed, no status procedure", true, true, false},
                          {"freed, no sink", true, false, false},
                          {"too small for a record", false, true, true}};
    for (const Case& c : cases) {
        RecordingLibrary library;
        StatusSink other = sink;
        other.statusProc = c.withProc ? sink.statusProc : 0;
        request.setup = GlobalAlloc(GHND, 64);
        if (c.freed) GlobalFree(request.setup);
        request.statusSink = c.withSink ? &other : nullptr;
        EXPECT_EQ(Import(), -7) << c.what;
        EXPECT_EQ(JoinOps(library.calls), c.withProc ? "Status" : "") << c.what;
        EXPECT_TRUE(!c.withProc || std::vector<int64_t>(library.calls[0].args.begin(),
                                                        library.calls[0].args.begin() + 6) ==
                                       (std::vector<int64_t>{kUserData, 3, 0xFFFFFFF9, 0, 0, 0}))
            << c.what << ": -7, class 0";
        if (!c.freed) GlobalFree(request.setup);
    }
    RecordingLibrary library;
    EXPECT_EQ(ImportFile(0, "", "", "", nullptr), -7) << "no request";
    EXPECT_TRUE(library.calls.empty());
}

TEST(InputOpening, WithANullPath) {
    // A host may pass no path at all: memory is then read when there is some (locked while
    // open), else the library is asked for no file; a read routine still wins.
    RecordingLibrary fake;
    HGLOBAL memory = GlobalAlloc(GHND, 9);
    const auto locks = [memory] { return GlobalFlags(memory) & GMEM_LOCKCOUNT; };
    const std::pair<uint64_t, HGLOBAL> cases[] = {
        {0, memory}, {0, nullptr}, {0xC0DE, memory}};  // routine, memory
    for (auto [routine, block] : cases) {
        xpmfilter::InputSource input;
        StreamHandle stream = xpmfilter::OpenInputStream(input, {nullptr, routine, 0x55AA, block});
        const Call& open = fake.calls.back();
        EXPECT_EQ(open.texts, std::vector<std::string>{"<null>"});
        const std::vector<int64_t> source =
            routine != 0 ? std::vector<int64_t>{0x55AA, 0, 0xC0DE}
            : block      ? std::vector<int64_t>{intptr_t(&input.lockedAddress), 9, 0}
                         : std::vector<int64_t>{};
        EXPECT_EQ(std::vector<int64_t>(open.args.begin() + 2, open.args.end()), source) << routine;
        EXPECT_EQ(locks(), routine == 0 && block != nullptr ? 1u : 0u) << routine;
        fake.Table().StreamClose(stream);
        xpmfilter::UnlockInputMemory(input);
        xpmfilter::UnlockInputMemory(input);
        EXPECT_EQ(locks(), 0u) << routine;
    }
    GlobalFree(memory);
}

}  // namespace
}  // namespace xpmtest
