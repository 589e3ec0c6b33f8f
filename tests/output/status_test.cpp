// Tests of the status procedure protocol: the stop notice, severity classes, progress and
// the progress check with its writer query.
#include "output/status.h"

#include <cstdint>
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
using xpmtest::StatusCalls;

// Answers `progressAnswer` to progress calls (kind 0, code 0), `noticeAnswer` to stop
// notices and `otherAnswer` to everything else.
void ScriptAnswers(RecordingLibrary& fake, int32_t progressAnswer, int32_t noticeAnswer,
                   int32_t otherAnswer = 0) {
    fake.statusAnswer = [=](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
        if (kind == 0 && code == 0) return progressAnswer;
        if (kind == 2) return noticeAnswer;
        return otherAnswer;
    };
}

TEST(InvokeStatusProc, NullProcedureAnswersZeroAndCallsNothing) {
    RecordingLibrary fake;
    EXPECT_EQ(InvokeStatusProc(nullptr, 1, 0, 0, 50, 0, 0, nullptr), 0);
    EXPECT_TRUE(fake.calls.empty());
}

TEST(InvokeStatusProc, StopNoticeFollowsOnlyAStopAnswerToProgress) {
    struct Case {
        const char* name;
        uint32_t kind, code;
        int32_t firstAnswer, noticeAnswer;
        int32_t want;
        size_t wantCalls;  // 2 when a stop notice was sent
    };
    const Case cases[] = {
        {"progress, go on", 0, 0, 0, 0, 0, 1},
        {"progress, stop confirmed", 0, 0, 1, 1, 1, 2},
        {"progress, stop withdrawn", 0, 0, 1, 0, 0, 2},
        {"progress, stop answered -5 then 7", 0, 0, -5, 7, 7, 2},
        {"progress range answered stop", 0, 0xFFFFFFFFu, 1, 1, 1, 1},
        {"status report answered stop", 3, 27, 1, 1, 1, 1},
        {"kind 2 answered stop", 2, 61, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        ScriptAnswers(fake, c.firstAnswer, c.noticeAnswer, c.firstAnswer);
        int32_t got = InvokeStatusProc(&RecordingLibrary::StatusProc, 77, c.kind, c.code, 40, 0,
                                       0, nullptr);
        EXPECT_EQ(got, c.want) << c.name;
        auto calls = StatusCalls(fake);
        ASSERT_EQ(calls.size(), c.wantCalls) << c.name;
        EXPECT_EQ(calls[0].kind, c.kind) << c.name;
        EXPECT_EQ(calls[0].first, 40u) << c.name;
        if (c.wantCalls == 2) {
            const xpmtest::Call& notice = *fake.Find("Status")[1];
            EXPECT_EQ(notice.args[0], 77) << c.name << ": userData of the stop notice";
            EXPECT_EQ((std::vector<uint32_t>{calls[1].kind, calls[1].code, calls[1].first,
                                             calls[1].second, calls[1].severityClass}),
                      (std::vector<uint32_t>{2, 61, 0, 0, 0})) << c.name << ": the stop notice";
            ASSERT_EQ(notice.data.size(), 80u) << c.name << ": the notice carries ten words";
            EXPECT_EQ(notice.data, std::vector<uint8_t>(80, 0)) << c.name;
        }
    }
}

TEST(ReportStatus, SendsKindThreeWithTheCodesSeverityClass) {
    struct Case {
        int32_t code;
        uint32_t wantClass;
    };
    const Case cases[] = {
        {9, 1},   {56, 1},  {60, 1},  {4867, 1}, {57, 2},  {59, 2},  {527, 2}, {775, 2},
        {784, 2}, {61, 0},  {-23, 0}, {27, 0},   {-1, 0},  {-7, 0},  {7, 0},   {65, 0},
        {58, 0},  {526, 0}, {-9, 0},  {14, 0},   {4866, 0}, {785, 0},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        OutputTestSetup setup;
        EXPECT_EQ(ReportStatus(*setup, c.code), 0) << "code " << c.code;
        auto calls = StatusCalls(fake);
        ASSERT_EQ(calls.size(), 1u) << "code " << c.code;
        // -1 reaches the host as 0xFFFFFFFF.
        EXPECT_EQ((std::vector<uint32_t>{calls[0].kind, calls[0].code, calls[0].first,
                                         calls[0].second, calls[0].severityClass}),
                  (std::vector<uint32_t>{3, static_cast<uint32_t>(c.code), 0, 0, c.wantClass}))
            << "code " << c.code << ": (kind, code, first, second, class)";
        EXPECT_EQ(fake.Find("Status")[0]->args[0], static_cast<int64_t>(xpmtest::kTestUserData));
        EXPECT_EQ(fake.Find("Status")[0]->data, std::vector<uint8_t>(80, 0))
            << "code " << c.code << ": ten zero argument words";
        EXPECT_EQ(SeverityClass(c.code), c.wantClass) << "code " << c.code;
    }
}

TEST(ReportStatus, AStopAnswerGives61ButSendsNoNotice) {
    RecordingLibrary fake;
    ScriptAnswers(fake, 0, 1, 1);
    OutputTestSetup setup;
    EXPECT_EQ(ReportStatus(*setup, 27), 61);
    EXPECT_EQ(StatusCalls(fake).size(), 1u);
}

TEST(ReportStatus, NoProcedureOrNoSinkCallsNothing) {
    RecordingLibrary fake;
    ScriptAnswers(fake, 1, 1, 1);
    OutputTestSetup noProc;
    noProc.sink.statusProc = 0;
    EXPECT_EQ(ReportStatus(*noProc, 27), 0);
    EXPECT_EQ(ReportProgress(*noProc), 0);
    OutputTestSetup noSink;
    noSink.setup->statusSink = nullptr;
    EXPECT_EQ(ReportStatus(*noSink, 27), 0);
    EXPECT_EQ(ReportProgress(*noSink), 0);
    EXPECT_TRUE(fake.calls.empty()) << "got " << JoinOps(fake.Ops());
}

TEST(ReportProgress, SendsThePercentageAndHeedsTheStopNotice) {
    struct Case {
        const char* name;
        int32_t progressAnswer, noticeAnswer;
        int32_t want;
        size_t wantCalls;
    };
    const Case cases[] = {
        {"go on", 0, 0, 0, 1},
        {"stop confirmed", 1, 1, 61, 2},
        {"stop withdrawn", 1, 0, 0, 2},
        {"stop confirmed with -1", -1, -1, 61, 2},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        ScriptAnswers(fake, c.progressAnswer, c.noticeAnswer);
        OutputTestSetup setup;
        setup.setup->progressPercent = 37;
        EXPECT_EQ(ReportProgress(*setup), c.want) << c.name;
        auto calls = StatusCalls(fake);
        ASSERT_EQ(calls.size(), c.wantCalls) << c.name;
        EXPECT_EQ((std::vector<uint32_t>{calls[0].kind, calls[0].code, calls[0].first,
                                         calls[0].second, calls[0].severityClass}),
                  (std::vector<uint32_t>{0, 0, 37, 0, 0})) << c.name;
        EXPECT_FALSE(calls[0].hasBlock) << c.name << ": progress calls carry no block";
    }
}

TEST(CheckProgress, StopsOrChecksTheWriter) {
    struct Case {
        const char* name;
        bool withProc;
        int32_t progressAnswer, noticeAnswer;
        int16_t writerCode, writerDetail;
        int32_t want;
        const char* wantOps;
    };
    const Case cases[] = {
        {"stop confirmed: writer not queried", true, 1, 1, 302, 269, 61, "Status Status"},
        {"stop withdrawn: writer checked", true, 1, 0, 0, 0, 0,
         "Status Status WriterGetError"},
        {"go on, clean writer", true, 0, 0, 0, 0, 0, "Status WriterGetError"},
        {"go on, disk full", true, 0, 0, 302, 269, 9,
         "Status WriterGetError WriterAbort"},
        {"stop withdrawn, writer stopped", true, 1, 0, 901, 0, 61,
         "Status Status WriterGetError WriterAbort"},
        {"go on, forgiven writer code 76", true, 0, 0, 76, 0, 0, "Status WriterGetError"},
        {"no procedure, writer code -1", false, 0, 0, -1, 0, 26, "WriterGetError WriterAbort"},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        ScriptAnswers(fake, c.progressAnswer, c.noticeAnswer);
        fake.writerError = [&](const std::string&) {
            return std::pair<int16_t, int16_t>{c.writerCode, c.writerDetail};
        };
        OutputTestSetup setup;
        if (!c.withProc) setup.sink.statusProc = 0;
        int32_t got = CheckProgress(*setup);
        EXPECT_EQ(got, c.want) << c.name << ": got " << got << ", want " << c.want;
        EXPECT_EQ(JoinOps(fake.Ops()), c.wantOps) << c.name;
        EXPECT_TRUE(xpmtest::ReportedCodes(fake).empty()) << c.name << ": nothing is reported";
    }
}

}  // namespace
