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
        const char* what;
        std::vector<std::string> files;
        std::string given, windir;
        int32_t want;
        std::string wantPath;
    };
    const std::string n259(259, 'n'), ini = "{windows}/libxfprobe.INI";
    const Case cases[] = {
        {"the name as given wins",
         {"{other}/g.ini", "{module}/g.ini", "{windows}/g.ini"},
         "{other}/g.ini",
         "",
         0,
         "{other}/g.ini"},
        {"its file name beside the module",
         {"{module}/g.ini", "{windows}/g.ini"},
         "{other}/deep/er/g.ini",
         "",
         0,
         "{module}/g.ini"},
        {"its file name in the Windows directory",
         {"{windows}/g.ini"},
         "{other}/g.ini",
         "",
         0,
         "{windows}/g.ini"},
        {"a relative name is appended whole",
         {"{module}/sub/r.ini"},
         "sub/r.ini",
         "",
         0,
         "{module}/sub/r.ini"},
        {"no name: the module's profile beside it",
         {"{module}/libxfprobe.INI", ini},
         "",
         "",
         0,
         "{module}/libxfprobe.INI"},
        {"no name: in the Windows directory", {ini}, "", "", 0, ini},
        {"no name, nowhere", {}, "", "", 1, ini},
        {"a Windows directory ending in a separator gets no second one",
         {},
         "",
         "/",
         1,
         "/libxfprobe.INI"},
        {"no room for a name after the separator",
         {},
         "",
         "/" + std::string(257, 'w'),
         1,
         "/" + std::string(257, 'w') + "/"},
        {"a Windows directory of 260 characters gives no candidate",
         {},
         "g.ini",
         "/" + std::string(259, 'w'),
         1,
         ""},
        {"a long name is cut to the buffer", {}, n259, "", 1, "{windows}/" + n259},
    };
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
            EXPECT_EQ(xpmfilter::LocateProfile(path), c.want) << c.what << module;
            EXPECT_EQ(std::string(path),
                      box.Expand(c.wantPath).substr(0, xpmfilter::kPathChars - 1))
                << c.what << module;
            EXPECT_STREQ(path + xpmfilter::kPathChars, "GGGGGGG")
                << c.what << module << ": written past the path";
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
        const char* what;
        std::string text;  // written to `profile`, or to the module's profile when that is null
        const char *profile, *section;  // CreateSetup's arguments
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
    const Case cases[] = {
        {"no profile anywhere", "", "absent.ini", nullptr, "||rondo.0|FILE|0 0 0 1"},
        {"a named file, the section under ~Mode", named, "{other}/n.ini", nullptr,
         "{other}/n.ini|Main|xpm.drv|PROFILE|2 2 1 2|4,5,6,b|Arial,Helvetica"},
        {"a named file and section", named, "{other}/n.ini", "Other",
         "{other}/n.ini|Other|other.drv||0 0 0 1"},
        {"an empty section argument falls back to ~Mode", head, nullptr, "", "~||0 0 0 1"},
        {"no Driver", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n", nullptr, nullptr, nullptr},
        {"the named section is absent", head, nullptr, "Absent", nullptr},
        {"colours 0 to 2 and 4; names keep 16 characters",
         head + two + "Color[002]=7, 8, 9, \"abcdefghijklmnopq\"\nColor[004]=5, 5, 5, \"e\"\n",
         nullptr, nullptr, "~||3 3 0 1|7,8,9,abcdefghijklmnop"},
        {"an empty value ends the colours",
         head + "Color[000]=1, 1, 1, \"a\"\nColor[001]=\nColor[002]=3, 3, 3, \"c\"\n", nullptr,
         nullptr, "~||1 1 0 1|1,1,1,a"},
        {"257 colours: 256 read", head + colors257, nullptr, nullptr, "~||256 256 0 1|255,1,2,c"},
        {"40 fonts: 32 read", head + fonts40, nullptr, nullptr, "~||0 0 32 1|name32,face32"},
        {"the fonts stop at a gap",
         head + "Font[001]=\"a\", \"b\"\nFont[002]=plain\nFont[004]=\"x\", \"y\"\n", nullptr,
         nullptr, "~||0 0 2 1|plai,"},
        {"source \"file\": no active colours", head + two + "ColorTableSource=file\n", nullptr,
         nullptr, "~|file|2 0 0 1|4,5,6,b"},
        {"9 characters of the source kept; the mode unchecked",
         head + two + "ColorTableSource=FILEFILEFILE\nColor Mode=7\n", nullptr, nullptr,
         "~|FILEFILEF|2 2 0 7|4,5,6,b"},
    };
    for (const Case& c : cases) {
        box.Clean();
        if (!c.text.empty()) box.Write(c.profile ? c.profile : "{windows}/libxfprobe.INI", c.text);
        const std::string profile = c.profile ? box.Expand(c.profile) : "";
        HGLOBAL setup =
            CreateSetup(nullptr, c.profile ? profile.c_str() : nullptr, c.section, nullptr);
        ASSERT_EQ(setup != nullptr, c.want != nullptr) << c.what;
        if (setup == nullptr) continue;
        auto* record = static_cast<xpmfilter::SetupRecord*>(GlobalLock(setup));
        const std::string want =
            c.want[0] == '~' ? "{windows}/libxfprobe.INI|M|d" + std::string(c.want + 1) : c.want;
        EXPECT_EQ(Summary(*record), box.Expand(want)) << c.what;
        GlobalUnlock(setup);
        GlobalFree(setup);
    }
}

}  // namespace
}  // namespace xpmtest
