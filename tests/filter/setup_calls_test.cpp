// The setup and information calls: EscapeSetup on a setup record and on an option set,
// DestroySetup, EditSetup, and what GetFilterInfo and GetFilterPref hand the host.
#include <gtest/gtest.h>

#include <cstring>

#include "filter/setup_record.h"
#include "module_sandbox.h"
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
        const char* name;
        Target target = kRecord;
        uint32_t code;
        int32_t size = 4;
        uint32_t value = 0, flag = 0;
        int32_t want = 0;
        const char* escapes = "";  // what reached the option set
        uint32_t mode = 1;         // the options' colour mode afterwards
        bool routine = false;      // ioRoutine is the address handed in
        uint8_t byte = 4;          // byteOption afterwards
        const char* profile = "";  // "Color Mode" in the record's profile afterwards
    };
    // clang-format off
    const Case cases[] = {
        {.name = "55 with a flag: the mode, and in the profile; any size",
         .code = 55, .size = 0, .value = 2, .flag = 1, .mode = 2, .profile = "2"},
        {.name = "55 without a flag: not in the profile", .code = 55, .value = 2, .mode = 2},
        {.name = "55 to 3: only the profile takes it",
         .code = 55, .value = 3, .flag = 1, .profile = "3"},
        {.name = "81 of size 8: the routine", .code = 81, .size = 8, .routine = true},
        {.name = "81 of another size: nothing", .code = 81},
        {.name = "82 of size 8: the byte", .code = 82, .size = 8, .value = 0x1C4, .byte = 0xC4},
        {.name = "82 of another size: nothing", .code = 82, .size = 16, .value = 0x1C4},
        {.name = "another code is passed on",
         .code = 99, .size = 12, .value = 5, .flag = 3, .want = -1, .escapes = "99/12 "},
        {.name = "an option set: 55 on a copy of its block", .target = kSet,
         .code = 55, .value = 0, .flag = 1, .escapes = "43/56 42/56 ", .mode = 0},
        {.name = "an option set: 81", .target = kSet,
         .code = 81, .size = 8, .escapes = "43/56 42/56 ", .routine = true},
        {.name = "an option set: another code, then the copy stored", .target = kSet,
         .code = 99, .value = 5, .flag = 9, .want = -1, .escapes = "43/56 99/4 42/56 "},
        {.name = "no handle", .target = kNull, .code = 99},
        {.name = "a freed handle", .target = kFreed, .code = 55, .value = 2, .want = -7},
        {.name = "a small block with the magic is no record; its load fails", .target = kSmall,
         .code = 55, .want = -1, .escapes = "43/56 "},
    };
    // clang-format on
    const std::string profile = box.Expand("{windows}/setup.ini");
    for (const Case& c : cases) {
        box.Write(profile, "[XPM Test]\nDriver=d\n");
        const SavedOptions before{0x1111, 4, {1, 2, 3}, 1, {4}};
        HGLOBAL handle = c.target == kSet     ? library.Table().OptionSetCreate(0, 0, 0, 0)
                         : c.target == kSmall ? GlobalAlloc(GHND, 8)
                         : c.target == kNull
                             ? nullptr
                             : CreateSetup(nullptr, profile.c_str(), "XPM Test", nullptr);
        auto* block = static_cast<xpmfilter::SetupRecord*>(GlobalLock(handle));
        if (c.target == kSet)
            (void)library.Table().OptionSetEscape(handle, 42, 56, &before, nullptr, 0);
        if (c.target == kRecord) block->options = before;
        if (c.target == kSmall) block->magic = xpmfilter::kSetupMagic;
        GlobalUnlock(handle);
        if (c.target == kFreed) DestroySetup(handle);
        library.calls.clear();
        uint32_t value = c.value;
        EXPECT_EQ(EscapeSetup(handle, c.code, c.size, &value, nullptr, c.flag), c.want) << c.name;
        EXPECT_EQ(Escapes(library), c.escapes) << c.name;
        char written[16] = {};
        GetPrivateProfileStringA("XPM Test", "Color Mode", "", written, sizeof written,
                                 profile.c_str());
        EXPECT_STREQ(written, c.profile) << c.name << ": the profile's colour mode";
        SavedOptions got = before, want = before;
        want.colorMode = c.mode;
        want.byteOption = c.byte;
        if (c.routine) want.ioRoutine = reinterpret_cast<uintptr_t>(&value);
        if (c.target == kSet)
            (void)library.Table().OptionSetEscape(handle, 43, 56, nullptr, &got, 0);
        if (c.target == kRecord)
            got = static_cast<xpmfilter::SetupRecord*>(GlobalLock(handle))->options;
        if (c.target == kRecord) GlobalUnlock(handle);
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0)
            << c.name << ": got mode " << got.colorMode << " routine " << got.ioRoutine << " byte "
            << got.byteOption << ", want " << want.colorMode << " " << want.ioRoutine << " "
            << want.byteOption;
        // DestroySetup frees any block it can lock, a record or not.
        EXPECT_EQ(DestroySetup(handle), c.target == kNull || c.target == kFreed ? -7 : 0) << c.name;
    }
    EXPECT_EQ(EditSetup(1, 2, 3), 0);
}

TEST_F(SetupCalls, GetFilterInfoAndGetFilterPrefUseATemporaryRecord) {
    const char* all = "3/2=0 42/56 43/56 40/1=255 42/56 ";
    struct Case {
        const char* name;
        const char* profile = nullptr;  // the module's profile, or none
        bool failCreate = false, nowhere = false;
        uint16_t want = 2;
        const char* escapes = "";
    };
    // clang-format off
    const Case cases[] = {
        {.name = "no profile", .escapes = all},
        {.name = "no record: option 3 alone",
         .profile = "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n", .escapes = "3/2=0 "},
        {.name = "no option set", .failCreate = true, .want = 0},
        {.name = "nowhere to put it", .nowhere = true, .want = 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        box.Clean();
        if (c.profile) box.Write("{windows}/libxfprobe.INI", c.profile);
        library.calls.clear();
        library.failOptionSetCreate = c.failCreate;
        OptionSetHandle set = reinterpret_cast<OptionSetHandle>(0x1);
        EXPECT_EQ(GetFilterInfo(0, 0, c.nowhere ? nullptr : &set, 0), c.want) << c.name;
        EXPECT_EQ(Escapes(library), c.escapes) << c.name;
        EXPECT_EQ(set == nullptr, c.want == 0 && !c.nowhere) << c.name << ": the set handed back";
        const auto escapes = library.Find("OptionSetEscape");
        if (escapes.size() == 5) {
            ASSERT_EQ(escapes[1]->data.size(), 56u) << c.name;
            EXPECT_EQ(escapes[1]->data[48], 1) << c.name << ": the record's colour mode in the set";
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
