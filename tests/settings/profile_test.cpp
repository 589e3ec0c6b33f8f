// The profile: where it is looked for, and what CreateSetup makes of its sections.
#include <gtest/gtest.h>

#include <cstring>

#include "module_sandbox.h"
#include "recording_library.h"
#include "filter/setup_record.h"
#include "settings/profile_setup.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

struct Profile : testing::Test {
    RecordingLibrary library;
    ModuleSandbox& box = ModuleSandbox::Get();
};

TEST_F(Profile, LocateTriesTheNameThenBesideTheModuleThenTheWindowsDirectory) {
    struct Case {
        const char* name;
        std::vector<std::string> files = {};  // the profiles there are
        std::string given = "", windir = "";  // the name to try; WINDIR when not the sandbox's
        int32_t want = 0;
        std::string path;  // as LocateProfile leaves it
    };
    const std::string n259(259, 'n'), ini = "{windows}/libxfprobe.INI", w257(257, 'w');
    // clang-format off
    const Case cases[] = {
        {.name = "the name as given wins", .files = {"{other}/g.ini", "{module}/g.ini",
         "{windows}/g.ini"}, .given = "{other}/g.ini", .path = "{other}/g.ini"},
        {.name = "its file name beside the module", .files = {"{module}/g.ini", "{windows}/g.ini"},
         .given = "{other}/deep/er/g.ini", .path = "{module}/g.ini"},
        {.name = "its file name in the Windows directory", .files = {"{windows}/g.ini"},
         .given = "{other}/g.ini", .path = "{windows}/g.ini"},
        {.name = "a relative name is appended whole", .files = {"{module}/sub/r.ini"},
         .given = "sub/r.ini", .path = "{module}/sub/r.ini"},
        {.name = "no name: the module's profile beside it",
         .files = {"{module}/libxfprobe.INI", ini}, .path = "{module}/libxfprobe.INI"},
        {.name = "no name: in the Windows directory", .files = {ini}, .path = ini},
        {.name = "no name, nowhere", .want = 1, .path = ini},
        {.name = "a Windows directory ending in a separator gets no second one", .windir = "/",
         .want = 1, .path = "/libxfprobe.INI"},
        {.name = "no room for a name after the separator", .windir = "/" + w257,
         .want = 1, .path = "/" + w257 + "/"},
        {.name = "a Windows directory of 260 characters gives no candidate", .given = "g.ini",
         .windir = "/" + std::string(259, 'w'), .want = 1, .path = ""},
        {.name = "a long name is cut to the buffer", .given = n259, .want = 1,
         .path = "{windows}/" + n259},
    };
    // clang-format on
    // Without a name, the same for the module copy with an extension and the one without.
    for (const Case& c : cases)
        for (const bool withExtension : {false, true}) {
            if (withExtension && !c.given.empty()) continue;
            box.Clean();
            box.Use(withExtension);
            for (const std::string& file : c.files) box.Write(file, "[s]\nDriver=d\n");
            if (!c.windir.empty()) setenv("WINDIR", box.Expand(c.windir).c_str(), 1);
            char path[xpmfilter::kPathChars + 8] = {};
            std::memset(path + xpmfilter::kPathChars, 'G', 7);
            std::strncpy(path, box.Expand(c.given).c_str(), xpmfilter::kPathChars - 1);
            const char* module = withExtension ? " (libxfprobe.so)" : "";
            EXPECT_EQ(xpmfilter::LocateProfile(path), c.want) << c.name << module;
            EXPECT_EQ(std::string(path), box.Expand(c.path).substr(0, xpmfilter::kPathChars - 1))
                << c.name << module;
            EXPECT_STREQ(path + xpmfilter::kPathChars, "GGGGGGG")
                << c.name << module << ": written past the path";
        }
}

// path|section|driver|source|colours active fonts mode|last colour|last font
std::string Summary(const xpmfilter::SetupRecord& record) {
    const xpmfilter::ProfileTables& r = record.profile;
    const xpmfilter::ProfileSource& source = record.profileSource;
    std::string s = std::string(source.profilePath) + "|" + source.profileSection + "|" +
                    r.driverName + "|" + source.colorTableSource + "|" +
                    std::to_string(r.profileColorCount) + " " + std::to_string(r.activeColorCount) +
                    " " + std::to_string(r.fontCount) + " " +
                    std::to_string(record.options.colorMode);
    if (const int i = r.profileColorCount - 1; i >= 0)
        s += "|" + std::to_string(r.profileColors[i].red) + "," +
             std::to_string(r.profileColors[i].green) + "," +
             std::to_string(r.profileColors[i].blue) + "," + r.profileColorNames[i];
    if (const int i = r.fontCount - 1; i >= 0)
        s += std::string("|") + r.fontNames[i] + "," + r.fontFaces[i];
    return s;
}

TEST_F(Profile, CreateSetupLoadsTheChosenSectionOrAppliesTheDefaults) {
    struct Case {
        const char* name;
        std::string text = "";  // written to `profile`, or to the module's profile when null
        const char *profile = nullptr, *section = nullptr;  // CreateSetup's arguments
        const char* want;  // Summary(), "~" for "{windows}/libxfprobe.INI|M|d"; null: no record
    };
    const std::string head = "[rondo]\n~Mode=M\n[M]\nDriver=d\n";
    const std::string two = "Color[000]=1, 2, 3, \"a\"\nColor[001]=4, 5, 6, \"b\"\n";
    const std::string named =
        "[rondo]\n~Mode=Main\n[Main]\nDriver=xpm.drv\nColorTableSource=PROFILE\n" + two +
        "Color Mode=2\nFont[001]=\"Arial\", \"Helvetica\"\n[Other]\nDriver=other.drv\n";
    std::string colors257, fonts40;
    const auto key = [](const char* word, int i) {
        return word + ("[" + std::to_string(1000 + i).substr(1) + "]=");
    };
    for (int i = 0; i <= 256; ++i)
        colors257 += key("Color", i) + std::to_string(i) + ", 1, 2, \"c\"\n";
    for (int i = 1; i <= 40; ++i)
        fonts40 += key("Font", i) + "\"name" + std::to_string(i) + "\", \"face" +
                   std::to_string(i) + "\"\n";
    // clang-format off
    const Case cases[] = {
        {.name = "no profile anywhere", .profile = "absent.ini", .want = "||rondo.0|FILE|0 0 0 1"},
        {.name = "a named file, the section under ~Mode", .text = named, .profile = "{other}/n.ini",
         .want = "{other}/n.ini|Main|xpm.drv|PROFILE|2 2 1 2|4,5,6,b|Arial,Helvetica"},
        {.name = "a named file and section", .text = named, .profile = "{other}/n.ini",
         .section = "Other", .want = "{other}/n.ini|Other|other.drv||0 0 0 1"},
        {.name = "an empty section argument falls back to ~Mode", .text = head, .section = "",
         .want = "~||0 0 0 1"},
        {.name = "no Driver", .text = "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n", .want = nullptr},
        {.name = "the named section is absent", .text = head, .section = "Absent", .want = nullptr},
        {.name = "colours 0 to 2 and 4; names keep 16 characters", .text = head + two +
         "Color[002]=7, 8, 9, \"abcdefghijklmnopq\"\nColor[004]=5, 5, 5, \"e\"\n",
         .want = "~||3 3 0 1|7,8,9,abcdefghijklmnop"},
        {.name = "an empty value ends the colours", .text = head +
         "Color[000]=1, 1, 1, \"a\"\nColor[001]=\nColor[002]=3, 3, 3, \"c\"\n",
         .want = "~||1 1 0 1|1,1,1,a"},
        {.name = "257 colours: 256 read", .text = head + colors257,
         .want = "~||256 256 0 1|255,1,2,c"},
        {.name = "40 fonts: 32 read", .text = head + fonts40, .want = "~||0 0 32 1|name32,face32"},
        {.name = "the fonts stop at a gap",
         .text = head + "Font[001]=\"a\", \"b\"\nFont[002]=plain\nFont[004]=\"x\", \"y\"\n",
         .want = "~||0 0 2 1|plai,"},
        {.name = "source \"file\": no active colours", .text = head + two +
         "ColorTableSource=file\n", .want = "~|file|2 0 0 1|4,5,6,b"},
        {.name = "9 characters of the source kept; the mode unchecked", .text = head + two +
         "ColorTableSource=FILEFILEFILE\nColor Mode=7\n", .want = "~|FILEFILEF|2 2 0 7|4,5,6,b"},
    };
    // clang-format on
    for (const Case& c : cases) {
        box.Clean();
        if (!c.text.empty()) box.Write(c.profile ? c.profile : "{windows}/libxfprobe.INI", c.text);
        const std::string profile = c.profile ? box.Expand(c.profile) : "";
        HGLOBAL setup =
            CreateSetup(nullptr, c.profile ? profile.c_str() : nullptr, c.section, nullptr);
        ASSERT_EQ(setup != nullptr, c.want != nullptr) << c.name;
        if (setup == nullptr) continue;
        auto* record = static_cast<xpmfilter::SetupRecord*>(GlobalLock(setup));
        const std::string want =
            c.want[0] == '~' ? "{windows}/libxfprobe.INI|M|d" + std::string(c.want + 1) : c.want;
        EXPECT_EQ(Summary(*record), box.Expand(want)) << c.name;
        GlobalUnlock(setup);
        GlobalFree(setup);
    }
}

}  // namespace
}  // namespace xpmtest
