// The text xpmimport shows: the progress bar over a set of imports, and the JSON lines of
// --json (which must stay valid JSON whatever the file names hold).
#include <gtest/gtest.h>

#include "xpmimport/json_text.h"
#include "xpmimport/progress_bar.h"

namespace xpmimport_test {
namespace {

using xpmimport::JsonObject;
using xpmimport::JsonString;
using xpmimport::ProgressBar;

TEST(ConsoleTextTest, ProgressBarCountsFinishedAndRunningImports) {
    ProgressBar bar(4);
    EXPECT_EQ(bar.overallPercent(), 0);
    bar.started(0, "a.xpm");
    bar.started(1, "b.xpm");
    bar.progressed(0, 50);
    bar.progressed(1, 150);  // clamped to 100
    EXPECT_EQ(bar.overallPercent(), 37) << "(50 + 100) / 4 imports";
    bar.finished(1);
    bar.finished(1);  // a second finish of the same import changes nothing
    bar.progressed(7, 90);  // an import never started changes nothing
    EXPECT_EQ(bar.overallPercent(), 37);
    EXPECT_EQ(bar.render(80), "[###########-------------------]  37%  a.xpm (1/4)");
    EXPECT_EQ(bar.render(10), "[#########") << "cut to the terminal width";
    ProgressBar single(1);
    single.started(0, "only.xpm");
    single.progressed(0, 100);
    EXPECT_EQ(single.render(80), "[#############################-]  99%  only.xpm") << "decoded but not yet written";
    EXPECT_TRUE(single.active());
    single.finished(0);
    EXPECT_FALSE(single.active()) << "nothing left to show once every import finished";
    EXPECT_EQ(single.overallPercent(), 100);
    ProgressBar forty(40);
    for (size_t job = 0; job < 40; ++job) forty.started(job, "icon.xpm"), forty.progressed(job, 100);
    for (size_t job = 0; job < 39; ++job) forty.finished(job);
    EXPECT_EQ(forty.overallPercent(), 99) << "39 of 40 imports finished is not all of them";
}

TEST(ConsoleTextTest, JsonLinesStayValid) {
    struct Case {
        std::string text;
        std::string want;
    } cases[] = {
        {"plain.xpm", "\"plain.xpm\""},
        {"quote\"back\\slash", "\"quote\\\"back\\\\slash\""},
        {"line\nbreak\ttab\x01", "\"line\\nbreak\\ttab\\u0001\""},
        {"caf\xc3\xa9.xpm", "\"caf\xc3\xa9.xpm\""},
        {"bad\xff\xc3.xpm", "\"bad\\u00ff\\u00c3.xpm\""},
    };
    for (const Case& c : cases) EXPECT_EQ(JsonString(c.text), c.want) << "input " << c.text;
    EXPECT_EQ(JsonObject().add("input", "a.xpm").add("width", 32).add("code", -23).text(),
              "{\"input\":\"a.xpm\",\"width\":32,\"code\":-23}");
    EXPECT_EQ(JsonObject().text(), "{}");
}

}  // namespace
}  // namespace xpmimport_test
