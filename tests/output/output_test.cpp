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
    const int32_t cases[][3] = {
        // code, detail, result
        {0, 0, 0},          {0, 269, 0},     {76, 2, 0},         {20, 0, 65},        {19, 0, 26},
        {21, 0, 12},        {26, 0, 12},     {27, 0, 26},        {160, 0, 26},       {161, 0, 13},
        {166, 0, 13},       {167, 0, 26},    {168, 0, 25},       {169, 0, 26},       {299, 0, 26},
        {300, 0, 27},       {301, 0, 23},    {302, 269, 9},      {302, 0, 14},       {302, 268, 14},
        {302, -269, 14},    {303, 269, 15},  {304, 0, 19},       {305, 0, 19},       {306, 0, 26},
        {900, 0, 26},       {901, 0, 61},    {902, 0, 26},       {1, 0, 26},         {-1, 0, 26},
        {-20, 0, 26},       {-302, 269, 26}, {INT32_MIN, 0, 26}, {INT32_MAX, 0, 26}, {269, 302, 26},
        {65536 + 20, 0, 26}};
    for (const auto& c : cases) EXPECT_EQ(MapWriterError(c[0], c[1]), c[2]) << c[0] << ", " << c[1];
    const int32_t classes[][2] = {{9, 1},   {56, 1},  {60, 1},  {4867, 1}, {57, 2},  {59, 2},
                                  {527, 2}, {775, 2}, {784, 2}, {61, 0},   {-23, 0}, {27, 0},
                                  {-1, 0},  {58, 0},  {526, 0}, {4866, 0}, {785, 0}};
    for (const auto& c : classes) EXPECT_EQ(SeverityClass(c[0]), uint32_t(c[1])) << c[0];
}

// Every step as the table calls it: with the import, and where its output goes.
using Step = int32_t (*)(const ImportContext&, const OutputTarget&);
int32_t Report27(const ImportContext& i, const OutputTarget&) {
    return ReportStatus(i, 27);
}
int32_t Progress(const ImportContext& i, const OutputTarget&) {
    return ReportProgress(i);
}
int32_t Check(const ImportContext& i, const OutputTarget&) {
    return CheckProgress(i);
}
int32_t Open(const ImportContext& i, const OutputTarget& t) {
    return OpenOutput(i, t);
}
int32_t Begin(const ImportContext& i, const OutputTarget&) {
    return BeginPicture(i, "PICTURE");
}
int32_t Start(const ImportContext& i, const OutputTarget&) {
    return StartDrawing(i);
}
int32_t End(const ImportContext& i, const OutputTarget&) {
    return EndPicture(i);
}
int32_t Finish(const ImportContext& i, const OutputTarget&) {
    return FinishOutput(i);
}

TEST(Output, StepsCallAndReport) {
    struct Case {
        Step step;
        int32_t want;
        const char*
            calls;  // writer operations, and status calls as kind:code[:first:second][/class]
        std::map<std::string, std::pair<int16_t, int16_t>>
            errors;                       // pending after the named operation
        int16_t open, close;              // what OutputOpen and OutputClose answer
        int32_t progress, notice, other;  // the host's answers to progress, stop notices, the rest
        int sink = 2;                     // 2: a sink with a procedure, 1: without one, 0: no sink
    };
    const char* kOpened = "0:-1:3:97 OutputOpen WriterGetError OutputStart WriterGetError";
    const Case cases[] = {
        {Report27, 0, "3:27"},
        {Report27, 61, "3:27", {}, 0, 0, 0, 1, 1},  // a stop answer: 61, and no notice
        {Report27, 0, "", {}, 0, 0, 1, 1, 1, 1},
        {Report27, 0, "", {}, 0, 0, 1, 1, 1, 0},
        {Progress, 0, "0:0:37:0"},
        {Progress, 61, "0:0:37:0 2:61", {}, 0, 0, 1, 1},
        {Progress, 0, "0:0:37:0 2:61", {}, 0, 0, 1, 0},  // the notice's answer decides
        {Progress, 61, "0:0:37:0 2:61", {}, 0, 0, -5, 7},
        {Progress, 0, "", {}, 0, 0, 1, 1, 1, 1},
        {Progress, 0, "", {}, 0, 0, 1, 1, 1, 0},
        // A stop wins outright; otherwise the writer is asked, and aborted on a code it has.
        {Check, 61, "0:0:37:0 2:61", {{"", {302, 269}}}, 0, 0, 1, 1},
        {Check, 0, "0:0:37:0 2:61 WriterGetError", {}, 0, 0, 1, 0},
        {Check, 9, "0:0:37:0 WriterGetError WriterAbort", {{"", {302, 269}}}},
        {Check, 61, "0:0:37:0 2:61 WriterGetError WriterAbort", {{"", {901, 0}}}, 0, 0, 1, 0},
        {Check, 0, "0:0:37:0 WriterGetError", {{"", {76, 0}}}},
        {Check, 26, "WriterGetError WriterAbort", {{"", {-1, 0}}}, 0, 0, 0, 0, 0, 1},
        // The range goes first, whatever follows, and its answer stops nothing.
        {Open, 0, kOpened},
        {Open, 0, kOpened, {}, 0, 0, 1, 1, 1},
        {Open, 14, "0:-1:3:97 OutputOpen 3:14", {{"OutputOpen", {302, 269}}}, 302},
        {Open, 0, "0:-1:3:97 OutputOpen", {}, 76},  // forgiven, and still not started
        {Open, 26, "0:-1:3:97 OutputOpen 3:26", {}, -1},
        {Open, 23, "0:-1:3:97 OutputOpen WriterGetError 3:23", {{"OutputOpen", {301, 0}}}},
        {Open,
         27,
         "0:-1:3:97 OutputOpen WriterGetError OutputStart WriterGetError OutputClose 3:27",
         {{"OutputStart", {300, 0}}}},
        {Open,
         9,
         "0:-1:3:97 OutputOpen WriterGetError OutputStart WriterGetError OutputClose 3:9/1",
         {{"OutputStart", {302, 269}}},
         0,
         20},
        {Open, 14, "OutputOpen", {}, 302, 0, 0, 0, 0, 1},
        {Open, 0, "OutputOpen WriterGetError OutputStart WriterGetError", {}, 0, 0, 0, 0, 0, 0},
        {Open, 14, "OutputOpen", {}, 302, 0, 0, 0, 0, 0},
        {Begin, 0, "PictureBegin WriterGetError"},
        {Begin, 9, "PictureBegin WriterGetError 3:9/1", {{"PictureBegin", {302, 269}}}},
        {Begin, 61, "PictureBegin WriterGetError 3:61", {{"PictureBegin", {901, 0}}}},
        {Start, 65, "PictureStartDrawing WriterGetError 3:65", {{"PictureStartDrawing", {20, 0}}}},
        {End, 0, "PictureEnd", {{"PictureEnd", {302, 269}}}},
        // A stopped writer is returned, not reported; a close result replaces the finish's code.
        {Finish, 0, "OutputFinish WriterGetError OutputClose"},
        {Finish, 61, "OutputFinish WriterGetError OutputClose", {{"OutputFinish", {901, 0}}}},
        {Finish,
         65,
         "OutputFinish WriterGetError OutputClose 3:65",
         {{"OutputFinish", {901, 0}}},
         0,
         20},
        {Finish,
         9,
         "OutputFinish WriterGetError 3:9/1 OutputClose",
         {{"OutputFinish", {302, 269}}}},
        {Finish,
         14,
         "OutputFinish WriterGetError 3:15 OutputClose 3:14",
         {{"OutputFinish", {303, 0}}},
         0,
         302},
        {Finish, 26, "OutputFinish WriterGetError OutputClose 3:26", {}, 0, -1},
        {Finish,
         0,
         "OutputFinish WriterGetError 3:15 OutputClose 3:0",
         {{"OutputFinish", {303, 0}}},
         0,
         76},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.writerError = [&](const std::string& op) {
            return c.errors.contains(op) ? c.errors.at(op) : std::pair<int16_t, int16_t>{};
        };
        fake.outputOpenResult = [&] { return c.open; },
        fake.outputCloseResult = [&] { return c.close; };
        fake.statusAnswer = [&](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
            return kind == 0 && code == 0 ? c.progress : kind == 2 ? c.notice : c.other;
        };
        StatusSink sink{
            0,
            {},
            kUserData,
            c.sink == 2 ? reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc) : 0};
        const ImportContext import{nullptr, c.sink == 0 ? nullptr : &sink, 0, 37};
        const OutputTarget target{"OUTSPEC", "NAME", HGLOBAL(0x4321), 3, 97};
        EXPECT_EQ(c.step(import, target), c.want) << c.calls;
        std::string calls;
        for (const Call& call : fake.calls) {
            std::string item = call.op;
            if (call.op == "Status") {
                item = std::to_string(call.args[1]) + ":" + std::to_string(int32_t(call.args[2]));
                if (call.args[3] != 0 || call.args[4] != 0)
                    item += ":" + std::to_string(call.args[3]) + ":" + std::to_string(call.args[4]);
                if (call.args[5] != 0) item += "/" + std::to_string(call.args[5]);
                EXPECT_EQ(call.args[0], int64_t(kUserData)) << c.calls;
                // Reports and stop notices carry ten zero words; progress calls carry none.
                EXPECT_EQ(call.data, std::vector<uint8_t>(call.args[1] >= 2 ? 80 : 0, 0))
                    << c.calls;
            }
            // What the record holds goes along: output texts, option set, sink.
            EXPECT_TRUE(
                call.op != "OutputOpen" ||
                (call.texts == std::vector<std::string>{"OUTSPEC", "NAME"} &&
                 call.args == std::vector<int64_t>{0, 0x4321, intptr_t(import.statusSink)}));
            EXPECT_TRUE(call.op != "OutputStart" ||
                        call.texts == std::vector<std::string>{"OUTSPEC"});
            EXPECT_TRUE(call.op != "WriterGetError" || call.args[0] == 1) << "asked with 1";
            calls += (calls.empty() ? "" : " ") + item;
        }
        EXPECT_EQ(calls, c.calls);
    }
}

}  // namespace
