// The setup and information calls: EscapeSetup on a setup record and on an option set,
// DestroySetup, EditSetup, and what GetFilterInfo and GetFilterPref hand the host.
#include <gtest/gtest.h>

#include <cstring>

#include "module_sandbox.h"
#include "filter/setup_record.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

// The option-set escapes made, as code/size, with "=value" for the one-value options 3 and 40.
std::string Escapes(const RecordingLibrary& library) {
    std::string out;
    for (const Call* call : library.Find("OptionSetEscape"))
        out += std::to_string(call->args[1]) + "/" + std::to_string(call->args[2]) +
               (call->args.size() > 6 ? "=" + std::to_string(call->args[6]) : "") + " ";
    return out;
}

struct SetupCalls : testing::Test {
    SetupCalls() { box.Clean(); }
    ModuleSandbox& box = ModuleSandbox::Get();
    RecordingLibrary library;
};

TEST_F(SetupCalls, EscapeSetupActsOnARecordOrOnACopyOfAnOptionSetsBlock) {
    enum Target { kRecord, kSet, kNull, kFreed, kSmall };
    struct Case {
        const char* what;
        Target target;
        uint32_t code;
        int32_t size;
        uint32_t value, flag;
        int32_t want;
        const char* wantEscapes = "";
        uint32_t wantMode = 1;
        char changed = '-';            // 'r': ioRoutine is &value; 'b': byteOption is its low byte
        const char* wantProfile = "";  // "Color Mode" in the record's profile afterwards
    };
    const Case cases[] = {
        {"55 to 2, size 0", kRecord, 55, 0, 2, 1, 0, "", 2, '-', "2"},
        {"55 to 0", kRecord, 55, 4, 0, 1, 0, "", 0, '-', "0"},
        {"55, no flag", kRecord, 55, 4, 2, 0, 0, "", 2},
        {"55 to 3", kRecord, 55, 4, 3, 1, 0, "", 1, '-', "3"},
        {"81 size 8", kRecord, 81, 8, 7, 0, 0, "", 1, 'r'},
        {"81 size 4", kRecord, 81, 4, 7, 0, 0},
        {"82 size 8", kRecord, 82, 8, 0x1C4, 0, 0, "", 1, 'b'},
        {"82 size 16", kRecord, 82, 16, 0x1C4, 0, 0},
        {"99 passed on", kRecord, 99, 12, 5, 3, -1, "99/12 "},
        {"set: 55 to 0", kSet, 55, 4, 0, 1, 0, "43/56 42/56 ", 0},
        {"set: 81", kSet, 81, 8, 7, 0, 0, "43/56 42/56 ", 1, 'r'},
        {"set: 99", kSet, 99, 4, 5, 9, -1, "43/56 99/4 42/56 "},
        {"null handle", kNull, 99, 4, 2, 1, 0},
        {"freed handle", kFreed, 55, 4, 2, 1, -7},
        {"a small block with the magic is no record; its load fails", kSmall, 55, 4, 0, 1, -1,
         "43/56 "},
    };
    const std::string profile = box.Expand("{windows}/setup.ini");
    for (const Case& c : cases) {
        box.Write(profile, "[XPM Test]\nDriver=d\n");
        const SavedOptions before{0x1111, 0xAB00CD, {1, 2, 3}, 1, {4}};
        HGLOBAL handle = c.target == kSet     ? library.Table().OptionSetCreate(0, 0, 0, 0)
                         : c.target == kSmall ? GlobalAlloc(GHND, 8)
                         : c.target == kNull
                             ? nullptr
                             : CreateSetup(nullptr, profile.c_str(), "XPM Test", nullptr);
        if (c.target == kSet)
            (void)library.Table().OptionSetEscape(handle, 42, 56, &before, nullptr, 0);
        if (c.target == kRecord)
            static_cast<xpmfilter::SetupRecord*>(GlobalLock(handle))->options = before;
        if (c.target == kSmall)
            *static_cast<uint32_t*>(GlobalLock(handle)) = xpmfilter::kSetupMagic;
        if (c.target == kRecord || c.target == kSmall) GlobalUnlock(handle);
        if (c.target == kFreed) DestroySetup(handle);
        library.calls.clear();
        uint32_t value = c.value;
        EXPECT_EQ(EscapeSetup(handle, c.code, c.size, &value, nullptr, c.flag), c.want) << c.what;
        EXPECT_EQ(Escapes(library), c.wantEscapes) << c.what;
        char written[16] = {};
        GetPrivateProfileStringA("XPM Test", "Color Mode", "", written, sizeof written,
                                 profile.c_str());
        EXPECT_STREQ(written, c.wantProfile) << c.what;
        SavedOptions got = before, want = before;
        want.colorMode = c.wantMode;
        if (c.changed == 'r') want.ioRoutine = reinterpret_cast<uintptr_t>(&value);
        if (c.changed == 'b') want.byteOption = 0xC4;
        if (c.target == kSet)
            (void)library.Table().OptionSetEscape(handle, 43, 56, nullptr, &got, 0);
        if (c.target == kRecord)
            got = static_cast<xpmfilter::SetupRecord*>(GlobalLock(handle))->options;
        if (c.target == kRecord) GlobalUnlock(handle);
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0)
            << c.what << ": got mode " << got.colorMode << " routine " << got.ioRoutine << " byte "
            << got.byteOption;
        // DestroySetup frees any block it can lock, a record or not.
        EXPECT_EQ(DestroySetup(handle), c.target == kNull || c.target == kFreed ? -7 : 0) << c.what;
    }
    EXPECT_EQ(EditSetup(1, 2, 3), 0);
}

TEST_F(SetupCalls, GetFilterInfoAndGetFilterPrefUseATemporaryRecord) {
    // profile: the module's profile, or null for none.
    struct Case {
        const char *what, *profile;
        bool failCreate, nowhere;
        uint16_t want;
        const char* wantEscapes;
        uint32_t wantMode;
    };
    const char* all = "3/2=0 42/56 43/56 40/1=255 42/56 ";
    const Case cases[] = {
        {"no profile", nullptr, false, false, 2, all, 1},
        {"the profile's colour mode", "[rondo]\n~Mode=M\n[M]\nDriver=d\nColor Mode=0\n", false,
         false, 2, all, 0},
        {"no record: option 3 alone", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n", false, false, 2,
         "3/2=0 ", 0},
        {"no option set", nullptr, true, false, 0, "", 0},
        {"nowhere to put it", nullptr, false, true, 0, "", 0},
    };
    for (const Case& c : cases) {
        box.Clean();
        if (c.profile) box.Write("{windows}/libxfprobe.INI", c.profile);
        library.calls.clear();
        library.failOptionSetCreate = c.failCreate;
        OptionSetHandle set = reinterpret_cast<OptionSetHandle>(0x1);
        EXPECT_EQ(GetFilterInfo(0, 0, c.nowhere ? nullptr : &set, 0), c.want) << c.what;
        EXPECT_EQ(Escapes(library), c.wantEscapes) << c.what;
        EXPECT_EQ(set == nullptr, c.want == 0 && !c.nowhere) << c.what;
        const auto escapes = library.Find("OptionSetEscape");
        if (escapes.size() == 5) {
            ASSERT_EQ(escapes[1]->data.size(), 56u) << c.what;
            EXPECT_EQ(escapes[1]->data[48], c.wantMode) << c.what << ": colour mode";
        }
        if (c.want != 0) GlobalFree(set);
    }
    // The preferences run over a temporary record; not without a host handle or a record.
    int host = 0;
    GetFilterPref(0, 0, nullptr, 0);
    box.Write("{windows}/libxfprobe.INI", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n");  // no record
    GetFilterPref(0, 0, &host, 0);
    EXPECT_EQ(library.Count("PreferencesRun"), 0u) << "no host handle, or no record";
    box.Clean();
    GetFilterPref(0, 0x5EED, &host, 0);
    const auto runs = library.Find("PreferencesRun");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]->args, (std::vector<int64_t>{int64_t(&host), runs[0]->args[1], 0x5EED,
                                                   int64_t(&EditSetup), 1}));
    EXPECT_EQ(runs[0]->texts, std::vector<std::string>{"XPM Import"});
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(runs[0]->args[1])), nullptr)
        << "the record outlived the call";
}

}  // namespace
}  // namespace xpmtest
