// The output layer against the recording library: how writer codes become results, the
// calls and reports of each step of the output's life and of the status procedure with its
// stop notice.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/output_lifecycle.h"
#include "output/status.h"
#include "output/writer_errors.h"
#include "recording_library.h"

namespace {

using namespace xpmfilter;
using xpmtest::Call;
using xpmtest::RecordingLibrary;

constexpr uint64_t kUserData = 0xABCD1234;

TEST(Output, WriterCodesBecomeResults) {
    struct Case {
        int32_t code, detail, want;
    };
    // Each end of each range, the codes just past the ends, and a negative code, which is no
    // known code (not its positive).
    const Case cases[] = {{0, 0, 0},     {76, 2, 0},   {77, 0, 26},    {20, 0, 65},    {19, 0, 26},
                          {21, 0, 12},   {26, 0, 12},  {27, 0, 26},    {161, 0, 13},   {166, 0, 13},
                          {167, 0, 26},  {168, 0, 25}, {169, 0, 26},   {300, 0, 27},   {301, 0, 23},
                          {302, 269, 9}, {302, 0, 14}, {303, 269, 15}, {304, 0, 19},   {305, 0, 19},
                          {306, 0, 26},  {901, 0, 61}, {-20, 0, 26},   {-302, 269, 26}};
    for (const Case& c : cases)
        EXPECT_EQ(MapWriterError(c.code, c.detail), c.want)
            << "writer code " << c.code << ", detail " << c.detail;
    struct Class {
        int32_t code;
        uint32_t want;
    };
    const Class classes[] = {{9, 1},  {56, 1},  {60, 1},  {4867, 1}, {57, 2},
                             {59, 2}, {527, 2}, {775, 2}, {784, 2},  {61, 0}};
    for (const Class& c : classes) EXPECT_EQ(SeverityClass(c.code), c.want) << "code " << c.code;
}

// Every step as the table calls it: with the import, and where its output goes.
using I = const ImportContext&;
using T = const OutputTarget&;
using Step = int32_t (*)(I, T);
struct Steps {
    static int32_t Report27(I i, T) { return ReportStatus(i, 27); }
    static int32_t Progress(I i, T) { return ReportProgress(i); }
    static int32_t Check(I i, T) { return CheckProgress(i); }
    static int32_t Open(I i, T t) { return OpenOutput(i, t); }
    static int32_t Begin(I i, T) { return BeginPicture(i, "PICTURE"); }
    static int32_t Start(I i, T) { return StartDrawing(i); }
    static int32_t End(I i, T) { return EndPicture(i); }
    static int32_t Finish(I i, T) { return FinishOutput(i); }
};

TEST(Output, StepsCallAndReport) {
    using S = Steps;
    enum Sink { kNoSink, kNoProcedure, kProcedure };
    using Errors = std::map<std::string, std::pair<int16_t, int16_t>>;
    struct Case {
        const char* name;
        Step step;
        int32_t want = 0;
        // Writer operations, and status calls as kind:code[:first:second][/class].
        std::string calls;
        Errors errors = {};           // pending after the named operation
        int16_t open = 0, close = 0;  // what OutputOpen and OutputClose answer
        // The host's answers to progress, to stop notices, to the rest.
        int32_t progress = 0, notice = 0, other = 0;
        Sink sink = kProcedure;
    };
    const std::string opened = "0:-1:3:97 OutputOpen WriterGetError OutputStart WriterGetError";
    const Errors diskFull{{"", {302, 269}}};
    // clang-format off
    const Case cases[] = {
        {.name = "a report answered with stop: 61, and no notice", .step = S::Report27, .want = 61,
         .calls = "3:27", .notice = 1, .other = 1},
        {.name = "no procedure: no report", .step = S::Report27, .calls = "", .progress = 1,
         .notice = 1, .other = 1, .sink = kNoProcedure},
        {.name = "no sink: no report", .step = S::Report27, .calls = "", .progress = 1, .notice = 1,
         .other = 1, .sink = kNoSink},
        {.name = "a stop, confirmed", .step = S::Progress, .want = 61, .calls = "0:0:37:0 2:61",
         .progress = 1, .notice = 1},
        {.name = "a stop, withdrawn: the notice's answer decides", .step = S::Progress,
         .calls = "0:0:37:0 2:61", .progress = 1},
        {.name = "any answers but 0 stop", .step = S::Progress, .want = 61,
         .calls = "0:0:37:0 2:61", .progress = -5, .notice = 7},
        // A stop wins outright; otherwise the writer is asked, and aborted on a code it has.
        {.name = "a stop: the writer not asked", .step = S::Check, .want = 61,
         .calls = "0:0:37:0 2:61", .errors = diskFull, .progress = 1, .notice = 1},
        {.name = "a withdrawn stop: the writer asked", .step = S::Check,
         .calls = "0:0:37:0 2:61 WriterGetError", .progress = 1},
        {.name = "a writer error: aborted", .step = S::Check, .want = 9,
         .calls = "0:0:37:0 WriterGetError WriterAbort", .errors = diskFull},
        {.name = "a stopped writer after a withdrawn stop", .step = S::Check, .want = 61,
         .calls = "0:0:37:0 2:61 WriterGetError WriterAbort", .errors = {{"", {901, 0}}},
         .progress = 1},
        {.name = "a forgiven writer code", .step = S::Check, .calls = "0:0:37:0 WriterGetError",
         .errors = {{"", {76, 0}}}},
        // The range goes first, whatever follows, and its answer stops nothing.
        {.name = "open: the range's answer stops nothing", .step = S::Open, .calls = opened,
         .progress = 1, .notice = 1, .other = 1},
        {.name = "open refused: mapped, not started", .step = S::Open, .want = 14,
         .calls = "0:-1:3:97 OutputOpen 3:14", .errors = {{"OutputOpen", {302, 269}}},
         .open = 302},
        {.name = "open answers a forgiven code: still not started", .step = S::Open,
         .calls = "0:-1:3:97 OutputOpen", .open = 76},
        {.name = "an error pending after the open", .step = S::Open, .want = 23,
         .calls = "0:-1:3:97 OutputOpen WriterGetError 3:23",
         .errors = {{"OutputOpen", {301, 0}}}},
        {.name = "a failed start closes the output", .step = S::Open, .want = 27,
         .calls = opened + " OutputClose 3:27",
         .errors = {{"OutputStart", {300, 0}}}},
        {.name = "a failed start: its code, whatever the close says", .step = S::Open, .want = 9,
         .calls = opened + " OutputClose 3:9/1",
         .errors = {{"OutputStart", {302, 269}}}, .close = 20},
        {.name = "open without a sink", .step = S::Open,
         .calls = "OutputOpen WriterGetError OutputStart WriterGetError", .sink = kNoSink},
        {.name = "begin fails", .step = S::Begin, .want = 9,
         .calls = "PictureBegin WriterGetError 3:9/1", .errors = {{"PictureBegin", {302, 269}}}},
        {.name = "begin stopped: reported", .step = S::Begin, .want = 61,
         .calls = "PictureBegin WriterGetError 3:61", .errors = {{"PictureBegin", {901, 0}}}},
        {.name = "start drawing fails", .step = S::Start, .want = 65,
         .calls = "PictureStartDrawing WriterGetError 3:65",
         .errors = {{"PictureStartDrawing", {20, 0}}}},
        {.name = "the end asks nothing", .step = S::End, .calls = "PictureEnd",
         .errors = {{"PictureEnd", {302, 269}}}},
        // A stopped writer is returned, not reported; a close result replaces the finish's code.
        {.name = "finish stopped: not reported", .step = S::Finish, .want = 61,
         .calls = "OutputFinish WriterGetError OutputClose",
         .errors = {{"OutputFinish", {901, 0}}}},
        {.name = "the close replaces a stop", .step = S::Finish, .want = 65,
         .calls = "OutputFinish WriterGetError OutputClose 3:65",
         .errors = {{"OutputFinish", {901, 0}}}, .close = 20},
        {.name = "finish fails", .step = S::Finish, .want = 9,
         .calls = "OutputFinish WriterGetError 3:9/1 OutputClose",
         .errors = {{"OutputFinish", {302, 269}}}},
        {.name = "finish and close fail: both reported, the close's code", .step = S::Finish,
         .want = 14, .calls = "OutputFinish WriterGetError 3:15 OutputClose 3:14",
         .errors = {{"OutputFinish", {303, 0}}}, .close = 302},
        {.name = "the close answers a forgiven code: 0 reported", .step = S::Finish,
         .calls = "OutputFinish WriterGetError 3:15 OutputClose 3:0",
         .errors = {{"OutputFinish", {303, 0}}}, .close = 76},
    };
    // clang-format on
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.writerError = [&](const std::string& op) {
            return c.errors.contains(op) ? c.errors.at(op) : std::pair<int16_t, int16_t>{};
        };
        fake.outputOpenResult = [&] { return c.open; };
        fake.outputCloseResult = [&] { return c.close; };
        fake.statusAnswer = [&](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
            return kind == 0 && code == 0 ? c.progress : kind == 2 ? c.notice : c.other;
        };
        StatusSink sink{.userData = kUserData};
        if (c.sink == kProcedure)
            sink.statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc);
        const ImportContext import{nullptr, c.sink == kNoSink ? nullptr : &sink, 0, 37};
        const OutputTarget target{"OUTSPEC", "NAME", HGLOBAL(0x4321), 3, 97};
        EXPECT_EQ(c.step(import, target), c.want) << c.name;
        std::string calls;
        for (const Call& call : fake.calls) {
            std::string item = call.op;
            if (call.op == "Status") {
                item = std::to_string(call.args[1]) + ":" + std::to_string(int32_t(call.args[2]));
                if (call.args[3] != 0 || call.args[4] != 0)
                    item += ":" + std::to_string(call.args[3]) + ":" + std::to_string(call.args[4]);
                if (call.args[5] != 0) item += "/" + std::to_string(call.args[5]);
                EXPECT_EQ(call.args[0], int64_t(kUserData)) << c.name;
                // Reports and stop notices carry ten zero words; progress calls carry none.
                EXPECT_EQ(call.data, std::vector<uint8_t>(call.args[1] >= 2 ? 80 : 0, 0))
                    << c.name << ": the status block";
            }
            // What the record holds goes along: output texts, option set, sink.
            EXPECT_TRUE(call.op != "OutputOpen" ||
                        (call.texts == std::vector<std::string>{"OUTSPEC", "NAME"} &&
                         call.args == std::vector<int64_t>{0, 0x4321, intptr_t(import.statusSink)}))
                << c.name << ": what OutputOpen is given";
            EXPECT_TRUE(call.op != "OutputStart" ||
                        call.texts == std::vector<std::string>{"OUTSPEC"})
                << c.name << ": what OutputStart is given";
            EXPECT_TRUE(call.op != "WriterGetError" || call.args[0] == 1) << "asked with 1";
            calls += (calls.empty() ? "" : " ") + item;
        }
        EXPECT_EQ(calls, c.calls) << c.name;
    }
}

}  // namespace
