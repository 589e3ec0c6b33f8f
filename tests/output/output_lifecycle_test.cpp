// Tests of the output lifecycle: the writer-code mapping, and the call sequences and
// reports of opening, beginning, drawing, ending and finishing.
#include "output/output_lifecycle.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output_test_setup.h"
#include "recording_library.h"

namespace {

using namespace xpmfilter;
using xpmtest::JoinOps;
using xpmtest::OutputTestSetup;
using xpmtest::RecordingLibrary;
using xpmtest::ReportedCodes;
using xpmtest::StatusCalls;

// Writer errors pending after named writer operations; none elsewhere.
void ScriptWriterErrors(RecordingLibrary& fake,
                        std::map<std::string, std::pair<int16_t, int16_t>> errors) {
    fake.writerError = [errors](const std::string& op) {
        auto found = errors.find(op);
        return found == errors.end() ? std::pair<int16_t, int16_t>{0, 0} : found->second;
    };
}

TEST(MapWriterError, WholeTable) {
    struct Case {
        int32_t code, detail, want;
    };
    const Case cases[] = {
        {0, 0, 0},      {0, 269, 0},    {76, 0, 0},     {76, 2, 0},     {20, 0, 65},
        {19, 0, 26},    {21, 0, 12},    {24, 0, 12},    {26, 0, 12},    {27, 0, 26},
        {160, 0, 26},   {161, 0, 13},   {166, 0, 13},   {167, 0, 26},   {168, 0, 25},
        {169, 0, 26},   {299, 0, 26},   {300, 0, 27},   {301, 0, 23},   {302, 269, 9},
        {302, 0, 14},   {302, 2, 14},   {302, 268, 14}, {302, -269, 14}, {303, 0, 15},
        {303, 269, 15}, {304, 0, 19},   {305, 0, 19},   {306, 0, 26},   {900, 0, 26},
        {901, 0, 61},   {902, 0, 26},   {1, 0, 26},     {-1, 0, 26},    {-20, 0, 26},
        {-302, 269, 26}, {INT32_MIN, 0, 26}, {INT32_MAX, 0, 26}, {269, 302, 26},
        {65536 + 20, 0, 26},
    };
    for (const Case& c : cases) {
        int32_t got = MapWriterError(c.code, c.detail);
        EXPECT_EQ(got, c.want) << "MapWriterError(" << c.code << ", " << c.detail << "): got "
                               << got << ", want " << c.want;
    }
}

TEST(CheckWriterError, SignExtendsThePairBeforeMapping) {
    struct Case {
        const char* name;
        bool pending;
        int16_t code, detail;
        int32_t want;
    };
    const Case cases[] = {
        {"nothing pending", false, 0, 0, 0},
        {"disk full", true, 302, 269, 9},
        {"write failed", true, 302, 1, 14},
        {"negative code", true, -1, 0, 26},
        {"code 0 with a detail", true, 0, 5, 0},
        {"stopped", true, 901, 0, 61},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        if (c.pending) ScriptWriterErrors(fake, {{"", {c.code, c.detail}}});
        OutputTestSetup setup;
        int16_t pair[2] = {0, 0};
        int32_t got = CheckWriterError(*setup, pair);
        EXPECT_EQ(got, c.want) << c.name;
        ASSERT_EQ(fake.Count("WriterGetError"), 1u) << c.name;
        EXPECT_EQ(fake.Find("WriterGetError")[0]->args[0], 1) << c.name << ": asks with 1";
        if (c.pending) {
            EXPECT_EQ(pair[0], c.code) << c.name;
            EXPECT_EQ(pair[1], c.detail) << c.name;
        }
    }
}

TEST(OpenOutput, SequencesAndReports) {
    struct Case {
        const char* name;
        int16_t openResult;
        std::map<std::string, std::pair<int16_t, int16_t>> errors;
        int16_t closeResult;
        int32_t want;
        const char* wantOps;
        std::vector<int32_t> wantReports;
    };
    const Case cases[] = {
        {"clean", 0, {}, 0, 0, "Status OutputOpen WriterGetError OutputStart WriterGetError", {}},
        {"open gives 302", 302, {}, 0, 14, "Status OutputOpen Status", {14}},
        {"open gives 302 and the error check would find 269", 302,
         {{"OutputOpen", {302, 269}}}, 0, 14, "Status OutputOpen Status", {14}},
        {"open gives 76: forgiven, no start", 76, {}, 0, 0, "Status OutputOpen", {}},
        {"open gives -1", -1, {}, 0, 26, "Status OutputOpen Status", {26}},
        {"error pending after open: not closed", 0, {{"OutputOpen", {301, 0}}}, 0, 23,
         "Status OutputOpen WriterGetError Status", {23}},
        {"error pending after start: closed", 0, {{"OutputStart", {300, 0}}}, 0, 27,
         "Status OutputOpen WriterGetError OutputStart WriterGetError OutputClose Status", {27}},
        {"start fails, close fails too: close ignored", 0, {{"OutputStart", {302, 269}}}, 20, 9,
         "Status OutputOpen WriterGetError OutputStart WriterGetError OutputClose Status", {9}},
        {"forgiven code after start", 0, {{"OutputStart", {76, 0}}}, 0, 0,
         "Status OutputOpen WriterGetError OutputStart WriterGetError", {}},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.outputOpenResult = [&] { return c.openResult; };
        fake.outputCloseResult = [&] { return c.closeResult; };
        ScriptWriterErrors(fake, c.errors);
        OutputTestSetup setup;
        std::strcpy(setup.setup->outputSpec, "OUTSPEC");
        std::strcpy(setup.setup->outputName, "NAME");
        setup.setup->optionSet = reinterpret_cast<OptionSetHandle>(0x4321);
        setup.setup->progressBase = 3;
        setup.setup->progressRange = 97;
        int32_t got = OpenOutput(*setup);
        EXPECT_EQ(got, c.want) << c.name << ": got " << got << ", want " << c.want;
        EXPECT_EQ(JoinOps(fake.Ops()), c.wantOps) << c.name;
        EXPECT_EQ(ReportedCodes(fake), c.wantReports) << c.name;

        // The range announcement comes first, whatever follows.
        auto calls = StatusCalls(fake);
        ASSERT_FALSE(calls.empty()) << c.name;
        EXPECT_EQ((std::vector<uint32_t>{calls[0].kind, calls[0].code, calls[0].first,
                                         calls[0].second, calls[0].severityClass}),
                  (std::vector<uint32_t>{0, 0xFFFFFFFFu, 3, 97, 0})) << c.name;
        EXPECT_FALSE(calls[0].hasBlock) << c.name;

        const xpmtest::Call& open = *fake.Find("OutputOpen")[0];
        EXPECT_EQ(open.texts, (std::vector<std::string>{"OUTSPEC", "NAME"})) << c.name;
        EXPECT_EQ(open.args[0], 0) << c.name;
        EXPECT_EQ(open.args[1], 0x4321) << c.name << ": the record's option set";
        EXPECT_EQ(fake.sinkAtOpen, &setup.sink) << c.name << ": the sink's address";
        for (const xpmtest::Call* start : fake.Find("OutputStart"))
            EXPECT_EQ(start->texts, std::vector<std::string>{"OUTSPEC"}) << c.name;
    }
}

TEST(OpenOutput, StopAnswerToTheRangeOrNoProcedureStillOpens) {
    RecordingLibrary fake;
    fake.statusAnswer = [](uint32_t, uint32_t, uint32_t, uint32_t) { return 1; };
    OutputTestSetup setup;
    EXPECT_EQ(OpenOutput(*setup), 0) << "a stop answer is neither a stop nor a notice";
    EXPECT_EQ(JoinOps(fake.Ops()), "Status OutputOpen WriterGetError OutputStart WriterGetError");

    fake.calls.clear();
    setup.sink.statusProc = 0;
    fake.outputOpenResult = [] { return int16_t{302}; };
    EXPECT_EQ(OpenOutput(*setup), 14) << "no procedure";
    EXPECT_EQ(JoinOps(fake.Ops()), "OutputOpen");
}

TEST(BeginAndStartDrawing, CheckTheWriterAndReportOnce) {
    struct Case {
        const char* name;
        bool begin;  // BeginPicture, else StartDrawing
        int16_t code, detail;
        int32_t want;
        uint32_t wantClass;
    };
    const Case cases[] = {
        {"begin clean", true, 0, 0, 0, 0},
        {"begin disk full", true, 302, 269, 9, 1},
        {"begin memory", true, 300, 0, 27, 0},
        {"begin stopped", true, 901, 0, 61, 0},
        {"start drawing clean", false, 0, 0, 0, 0},
        {"start drawing disk full", false, 302, 269, 9, 1},
        {"start drawing code 20", false, 20, 0, 65, 0},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        const char* op = c.begin ? "PictureBegin" : "PictureStartDrawing";
        ScriptWriterErrors(fake, {{op, {c.code, c.detail}}});
        OutputTestSetup setup;
        int32_t got = c.begin ? BeginPicture(*setup, "PICTURE 1") : StartDrawing(*setup);
        EXPECT_EQ(got, c.want) << c.name;
        std::string wantOps = std::string(op) + " WriterGetError" + (c.want ? " Status" : "");
        EXPECT_EQ(JoinOps(fake.Ops()), wantOps) << c.name;
        if (c.begin) {
            EXPECT_EQ(fake.Find("PictureBegin")[0]->texts, std::vector<std::string>{"PICTURE 1"});
        }
        auto calls = StatusCalls(fake);
        if (c.want != 0) {
            ASSERT_EQ(calls.size(), 1u) << c.name;
            EXPECT_EQ(calls[0].code, static_cast<uint32_t>(c.want)) << c.name;
            EXPECT_EQ(calls[0].severityClass, c.wantClass) << c.name;
        }
    }
}

TEST(EndPicture, NeverLooksForAnError) {
    RecordingLibrary fake;
    ScriptWriterErrors(fake, {{"PictureEnd", {302, 269}}});
    OutputTestSetup setup;
    EXPECT_EQ(EndPicture(*setup), 0);
    EXPECT_EQ(JoinOps(fake.Ops()), "PictureEnd");
}

TEST(FinishOutput, SequencesAndReports) {
    struct Case {
        const char* name;
        std::pair<int16_t, int16_t> finishError;
        int16_t closeResult;
        int32_t want;
        std::vector<int32_t> wantReports;
    };
    const Case cases[] = {
        {"clean", {0, 0}, 0, 0, {}},
        {"stopped: returned, not reported", {901, 0}, 0, 61, {}},
        {"stopped, then close gives 20", {901, 0}, 20, 65, {65}},
        {"disk full at finish", {302, 269}, 0, 9, {9}},
        {"finish 303, close 302: close wins, both reported", {303, 0}, 302, 14, {15, 14}},
        {"close 302 uses detail 2", {0, 0}, 302, 14, {14}},
        {"close -1", {0, 0}, -1, 26, {26}},
        {"close 901", {0, 0}, 901, 61, {61}},
        {"finish 303, close 76: the forgiven close replaces it", {303, 0}, 76, 0, {15, 0}},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        ScriptWriterErrors(fake, {{"OutputFinish", c.finishError}});
        fake.outputCloseResult = [&] { return c.closeResult; };
        OutputTestSetup setup;
        int32_t got = FinishOutput(*setup);
        EXPECT_EQ(got, c.want) << c.name << ": got " << got << ", want " << c.want;
        EXPECT_EQ(ReportedCodes(fake), c.wantReports) << c.name;
        std::vector<std::string> writerOps;
        for (const std::string& op : fake.Ops())
            if (op != "Status") writerOps.push_back(op);
        EXPECT_EQ(JoinOps(writerOps), "OutputFinish WriterGetError OutputClose") << c.name;
    }
}

}  // namespace
