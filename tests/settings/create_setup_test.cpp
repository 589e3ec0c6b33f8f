// CreateSetup against real profile files: which section is loaded, what makes it fail, and
// how the colour table, font table, colour table source and colour mode are read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "profile_sandbox.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

using xpmfilter::SetupRecord;

class CreateSetupTest : public testing::Test {
  protected:
    void TearDown() override { ProfileSandbox::Get().Clean(); }

    // Writes the profile to the Windows directory under the module's profile name, where
    // CreateSetup finds it without being given a name, and makes a record.
    std::unique_ptr<SetupRecord> CreateWithDefaultProfile(const std::string& text,
                                                          const char* section = nullptr) {
        ProfileSandbox& box = ProfileSandbox::Get();
        box.WriteFile(std::string("{windows}/") + ProfileSandbox::ModuleProfileName(), text);
        return TakeRecord(CreateSetup(nullptr, nullptr, section, nullptr));
    }

    RecordingLibrary library;
};

std::string ColorKey(int index) {
    char key[32];
    std::snprintf(key, sizeof key, "Color[%03d]", index);
    return key;
}

TEST_F(CreateSetupTest, WithoutAReadableProfileTheDefaultsApply) {
    struct Case {
        const char* what;
        const char* profile;
        const char* fifo;  // made as a FIFO first, under the sandbox's placeholders
    };
    const Case cases[] = {
        {"no profile anywhere", "xf_absent_profile_9d2.ini", nullptr},
        {"the module's profile is a FIFO", nullptr, "{windows}/libxfprobe.INI"},
    };
    ProfileSandbox& box = ProfileSandbox::Get();
    for (const Case& c : cases) {
        if (c.fifo != nullptr) {
            ASSERT_EQ(mkfifo(box.Expand(c.fifo).c_str(), 0666), 0) << c.what;
        }
        auto record = TakeRecord(CreateSetup(nullptr, c.profile, nullptr, nullptr));
        box.Clean();
        ASSERT_NE(record, nullptr) << c.what;
        EXPECT_EQ(record->magic, 0xFFEEDDCCu) << c.what;
        EXPECT_STREQ(record->profilePath, "") << c.what;
        EXPECT_STREQ(record->profileSection, "") << c.what;
        EXPECT_STREQ(record->driverName, "rondo.0") << c.what;
        EXPECT_STREQ(record->colorTableSource, "FILE") << c.what;
        EXPECT_EQ(record->options.colorMode, 1u) << c.what;
        EXPECT_EQ(record->activeColorCount, 0) << c.what;
        EXPECT_EQ(record->profileColorCount, 0) << c.what;
        EXPECT_EQ(record->fontCount, 0) << c.what;
    }
}

TEST_F(CreateSetupTest, LoadsTheSectionNamedUnderMode) {
    ProfileSandbox& box = ProfileSandbox::Get();
    box.WriteFile("{other}/named.ini",
                  "[rondo]\n~Mode=Main\n"
                  "[Main]\nDriver=xpm.drv\nColorTableSource=PROFILE\n"
                  "Color[000]=1, 2, 3, \"one\"\nColor[001]=(4, 5, 6), \"two\"\n"
                  "Color Mode=2\nFont[001]=\"Arial\", \"Helvetica\"\n"
                  "[Other]\nDriver=other.drv\n");
    auto record = TakeRecord(
        CreateSetup(nullptr, box.Expand("{other}/named.ini").c_str(), nullptr, nullptr));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, 0xFFEEDDCCu);
    EXPECT_EQ(std::string(record->profilePath), box.Expand("{other}/named.ini"));
    EXPECT_STREQ(record->profileSection, "Main");
    EXPECT_STREQ(record->driverName, "xpm.drv");
    EXPECT_STREQ(record->colorTableSource, "PROFILE");
    EXPECT_EQ(record->profileColorCount, 2);
    EXPECT_EQ(record->activeColorCount, 2);
    EXPECT_EQ(record->profileColors[1].red, 4);
    EXPECT_EQ(record->profileColors[1].green, 5);
    EXPECT_EQ(record->profileColors[1].blue, 6);
    EXPECT_STREQ(record->profileColorNames[0], "one");
    EXPECT_STREQ(record->profileColorNames[1], "two");
    EXPECT_EQ(record->options.colorMode, 2u);
    EXPECT_EQ(record->fontCount, 1);
    EXPECT_STREQ(record->fontNames[0], "Arial");
    EXPECT_STREQ(record->fontFaces[0], "Helvetica");

    auto other = TakeRecord(
        CreateSetup(nullptr, box.Expand("{other}/named.ini").c_str(), "Other", nullptr));
    ASSERT_NE(other, nullptr);
    EXPECT_STREQ(other->profileSection, "Other");
    EXPECT_STREQ(other->driverName, "other.drv");
    EXPECT_EQ(other->profileColorCount, 0);
    EXPECT_EQ(other->options.colorMode, 1u);
}

TEST_F(CreateSetupTest, TheModulesOwnProfileIsFoundWithoutAName) {
    ProfileSandbox& box = ProfileSandbox::Get();
    box.WriteFile(std::string("{module}/") + ProfileSandbox::ModuleProfileName(),
                  "[rondo]\n~Mode=M\n[M]\nDriver=beside.drv\n");
    auto record = TakeRecord(CreateSetup(nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->driverName, "beside.drv");
    EXPECT_EQ(std::string(record->profilePath),
              box.ModuleDir() + "/" + ProfileSandbox::ModuleProfileName());
}

TEST_F(CreateSetupTest, AFoundProfileWithoutDriverGivesNoRecord) {
    struct Case {
        const char* what;
        const char* text;
        const char* section;
    };
    const Case cases[] = {
        {"section without Driver", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n", nullptr},
        {"empty Driver", "[rondo]\n~Mode=M\n[M]\nDriver=\n", nullptr},
        {"no ~Mode and no section named", "[M]\nDriver=d\n", nullptr},
        {"empty ~Mode", "[rondo]\n~Mode=\n[M]\nDriver=d\n", nullptr},
        {"named section absent", "[rondo]\n~Mode=M\n[M]\nDriver=d\n", "Absent"},
        {"empty file", "", nullptr},
    };
    for (const Case& c : cases) {
        const WinshimCounts before = WinshimGetCounts();
        auto record = CreateWithDefaultProfile(c.text, c.section);
        EXPECT_EQ(record, nullptr) << c.what << ": got a record for driver "
                                   << (record ? record->driverName : "");
        EXPECT_EQ(WinshimGetCounts().globalBlocks, before.globalBlocks)
            << c.what << ": the refused record was not freed";
    }
}

TEST_F(CreateSetupTest, AnEmptySectionArgumentFallsBackToMode) {
    auto record = CreateWithDefaultProfile("[rondo]\n~Mode=M\n[M]\nDriver=m.drv\n", "");
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->profileSection, "M");
    EXPECT_STREQ(record->driverName, "m.drv");
}

TEST_F(CreateSetupTest, ColorTableEndsAtTheFirstKeyThatYieldsNothing) {
    struct Case {
        const char* what;
        std::string keys;
        int32_t wantCount;
    };
    std::string all257;
    for (int i = 0; i <= 256; ++i) all257 += ColorKey(i) + "=" + std::to_string(i) + ", 1, 2, \"c\"\n";
    const Case cases[] = {
        {"keys 0 to 2 and 4", ColorKey(0) + "=1, 1, 1, \"a\"\n" + ColorKey(1) + "=2, 2, 2, \"b\"\n" +
                                  ColorKey(2) + "=3, 3, 3, \"c\"\n" + ColorKey(4) + "=5, 5, 5, \"e\"\n",
         3},
        {"empty second value", ColorKey(0) + "=1, 1, 1, \"a\"\n" + ColorKey(1) + "=\n" +
                                   ColorKey(2) + "=3, 3, 3, \"c\"\n",
         1},
        {"no first key", ColorKey(1) + "=1, 1, 1, \"a\"\n", 0},
        {"257 keys", all257, 256},
    };
    for (const Case& c : cases) {
        auto record = CreateWithDefaultProfile("[rondo]\n~Mode=M\n[M]\nDriver=d\n" + c.keys);
        ProfileSandbox::Get().Clean();
        ASSERT_NE(record, nullptr) << c.what;
        EXPECT_EQ(record->profileColorCount, c.wantCount) << c.what;
        EXPECT_EQ(record->activeColorCount, c.wantCount) << c.what;
        if (c.wantCount == 256) {
            EXPECT_EQ(record->profileColors[255].red, 255) << c.what << ": last entry";
            EXPECT_STREQ(record->profileColorNames[255], "c") << c.what;
        }
    }
}

TEST_F(CreateSetupTest, ColorValuesAreParsedAsTheProfileReturnsThem) {
    struct Case {
        const char* value;
        int red, green, blue;
        const char* name;
    };
    // Token splitting itself is tested with ParseProfileColor; these pin the profile read.
    const Case cases[] = {
        {"(255, 0, 0), \"red\"", 255, 0, 0, "red"},
        {"1, 2, 3, \"a name of twenty-six chars\"", 1, 2, 3, "a name of twenty"},
        // Read with room for 49 characters: the name's end is cut, still 16 kept.
        {"1, 2, 3,                                    \"late name\"", 1, 2, 3, "late"},
        {"\"10, 20, 30, \"q\"\"", 10, 20, 30, "q"},  // enclosing quotes removed first
    };
    std::string keys;
    for (size_t i = 0; i < std::size(cases); ++i)
        keys += ColorKey(static_cast<int>(i)) + "=" + cases[i].value + "\n";
    auto record = CreateWithDefaultProfile("[rondo]\n~Mode=M\n[M]\nDriver=d\n" + keys);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->profileColorCount, static_cast<int32_t>(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(record->profileColors[i].red, c.red) << "value [" << c.value << "]";
        EXPECT_EQ(record->profileColors[i].green, c.green) << "value [" << c.value << "]";
        EXPECT_EQ(record->profileColors[i].blue, c.blue) << "value [" << c.value << "]";
        EXPECT_STREQ(record->profileColorNames[i], c.name) << "value [" << c.value << "]";
    }
}

TEST_F(CreateSetupTest, FontTableReadsAtMostThirtyTwoEntriesAndStopsAtAGap) {
    std::string fonts;
    for (int i = 1; i <= 40; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "Font[%03d]=\"name%d\", \"face%d\"\n", i, i, i);
        fonts += line;
    }
    auto record = CreateWithDefaultProfile("[rondo]\n~Mode=M\n[M]\nDriver=d\n" + fonts);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->fontCount, 32);
    EXPECT_STREQ(record->fontNames[0], "name1");
    EXPECT_STREQ(record->fontFaces[0], "face1");
    EXPECT_STREQ(record->fontNames[31], "name32");
    EXPECT_STREQ(record->fontFaces[31], "face32");
    ProfileSandbox::Get().Clean();

    record = CreateWithDefaultProfile(
        "[rondo]\n~Mode=M\n[M]\nDriver=d\n"
        "Font[001]=\"first\", \"second\"\nFont[002]=plain\nFont[004]=\"never\", \"read\"\n");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->fontCount, 2);
    EXPECT_STREQ(record->fontNames[1], "plai");
    EXPECT_STREQ(record->fontNames[3], "");
}

TEST_F(CreateSetupTest, ColorTableSourceAndColorModeLines) {
    struct Case {
        const char* lines;
        const char* wantSource;
        bool active;
        uint32_t wantMode;
    };
    const Case cases[] = {
        {"ColorTableSource=FILE\n", "FILE", false, 1},
        {"ColorTableSource=file\n", "file", false, 1},
        {"ColorTableSource=PROFILE\nColor Mode=7\n", "PROFILE", true, 7},  // stored unchecked
        {"Color Mode=0\n", "", true, 0},
        {"ColorTableSource=FILEFILEFILE\nColor Mode=2\n", "FILEFILEF", true, 2},  // 9 kept
        {"ColorTableSource=FIL\n", "FIL", true, 1},
    };
    for (const Case& c : cases) {
        auto record = CreateWithDefaultProfile(std::string("[rondo]\n~Mode=M\n[M]\nDriver=d\n") +
                                               c.lines + "Color[000]=1, 2, 3, \"a\"\n" +
                                               "Color[001]=1, 2, 3, \"b\"\n");
        ProfileSandbox::Get().Clean();
        ASSERT_NE(record, nullptr) << c.lines;
        EXPECT_STREQ(record->colorTableSource, c.wantSource) << "lines [" << c.lines << "]";
        EXPECT_EQ(record->profileColorCount, 2) << "lines [" << c.lines << "]";
        EXPECT_EQ(record->activeColorCount, c.active ? 2 : 0) << "lines [" << c.lines << "]";
        EXPECT_EQ(record->options.colorMode, c.wantMode) << "lines [" << c.lines << "]";
    }
}

TEST_F(CreateSetupTest, NoMemoryGivesNoRecord) {
    WinshimFailAllocationAfter(0);
    HGLOBAL setup = CreateSetup(nullptr, nullptr, nullptr, nullptr);
    WinshimFailAllocationAfter(-1);
    EXPECT_EQ(setup, nullptr);
    if (setup != nullptr) GlobalFree(setup);
}

}  // namespace
}  // namespace xpmtest
