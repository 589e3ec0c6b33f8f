// The setup and information calls: EscapeSetup on a setup record and on an option set,
// DestroySetup, EditSetup, and what GetFilterInfo and GetFilterPref hand the host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../settings/host_sandbox.h"
#include "common/setup_record.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

// The codes of the option-set escapes made, in order.
std::string EscapeCodes(const RecordingLibrary& library) {
    std::string codes;
    for (const Call* call : library.Find("OptionSetEscape")) codes += std::to_string(call->args[1]) + " ";
    return codes;
}

class SetupCalls : public testing::Test {
  protected:
    void TearDown() override { box.Clean(); }
    HostSandbox& box = HostSandbox::Get();
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
        const char* wantCodes = "";
        uint32_t wantMode = 1;
        char changed = '-';           // 'r': ioRoutine is &value; 'b': byteOption is its low byte
        const char* wantProfile = "";  // "Color Mode" in the record's profile afterwards
    };
    const Case cases[] = {
        {"55 to 2, size not looked at", kRecord, 55, 0, 2, 1, 0, "", 2, '-', "2"},
        {"55 to 0", kRecord, 55, 4, 0, 1, 0, "", 0, '-', "0"},
        {"55 without the flag", kRecord, 55, 4, 2, 0, 0, "", 2},
        {"55 to 3: the mode stays, the profile takes it", kRecord, 55, 4, 3, 1, 0, "", 1, '-', "3"},
        {"81 size 8: the address itself", kRecord, 81, 8, 7, 0, 0, "", 1, 'r'},
        {"81 size 4", kRecord, 81, 4, 7, 0, 0},
        {"82 size 8: one byte", kRecord, 82, 8, 0x1C4, 0, 0, "", 1, 'b'},
        {"82 size 16", kRecord, 82, 16, 0x1C4, 0, 0},
        {"99 is passed on", kRecord, 99, 12, 5, 3, -1, "99 "},
        {"set: 55 to 0, no profile", kSet, 55, 4, 0, 1, 0, "43 42 ", 0},
        {"set: 55 to 7", kSet, 55, 4, 7, 1, 0, "43 42 ", 1},
        {"set: 81 size 8", kSet, 81, 8, 7, 0, 0, "43 42 ", 1, 'r'},
        {"set: 82 size 8", kSet, 82, 8, 0x1C4, 0, 0, "43 42 ", 1, 'b'},
        {"set: 99 between the load and the store", kSet, 99, 4, 5, 9, -1, "43 99 42 "},
        {"null handle", kNull, 99, 4, 2, 1, 0},
        {"freed handle", kFreed, 55, 4, 2, 1, -7},
        {"a small block with the magic is no record; its load fails", kSmall, 55, 4, 0, 1, -1, "43 "},
    };
    const std::string profile = box.Expand("{windows}/setup.ini");
    for (const Case& c : cases) {
        box.Clean();
        library.calls.clear();
        SavedOptions before{0x1111, 0xAB00CD, {1, 2, 3}, 1, {4}};
        HGLOBAL handle = nullptr;
        if (c.target == kRecord || c.target == kFreed) {
            handle = GlobalAlloc(GHND, sizeof(xpmfilter::SetupRecord));
            auto* record = static_cast<xpmfilter::SetupRecord*>(GlobalLock(handle));
            record->magic = xpmfilter::kSetupMagic;
            record->options = before;
            std::strcpy(record->profileSection, "XPM Test");
            std::strcpy(record->profilePath, profile.c_str());
            GlobalUnlock(handle);
        } else if (c.target == kSet) {
            handle = library.Table().OptionSetCreate(0, 0, 0, 0);
            (void)library.Table().OptionSetEscape(handle, 42, 56, &before, nullptr, 0);
        } else if (c.target == kSmall) {
            handle = GlobalAlloc(GHND, 8);
            *static_cast<uint32_t*>(GlobalLock(handle)) = xpmfilter::kSetupMagic;
            GlobalUnlock(handle);
        }
        if (c.target == kFreed) GlobalFree(handle);
        library.calls.clear();
        uint32_t value = c.value;
        int extra = 0;
        EXPECT_EQ(EscapeSetup(handle, c.code, c.size, &value, &extra, c.flag), c.want) << c.what;
        EXPECT_EQ(EscapeCodes(library), c.wantCodes) << c.what;
        for (const Call* call : library.Find("OptionSetEscape")) {
            if (call->args[1] != c.code) continue;
            EXPECT_EQ(call->args, (std::vector<int64_t>{int64_t(handle), c.code, c.size, int64_t(&value), int64_t(&extra), c.flag}))
                << c.what << ": passed on changed";
        }
        char written[16] = {};
        GetPrivateProfileStringA("XPM Test", "Color Mode", "", written, sizeof written, profile.c_str());
        EXPECT_STREQ(written, c.wantProfile) << c.what;
        if (c.target == kRecord || c.target == kSet) {
            SavedOptions got{}, want = before;
            want.colorMode = c.wantMode;
            if (c.changed == 'r') want.ioRoutine = reinterpret_cast<uintptr_t>(&value);
            if (c.changed == 'b') want.byteOption = 0xC4;
            if (c.target == kRecord) {
                got = static_cast<xpmfilter::SetupRecord*>(GlobalLock(handle))->options;
                GlobalUnlock(handle);
            } else {
                (void)library.Table().OptionSetEscape(handle, 43, 56, nullptr, &got, 0);
            }
            EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << c.what << ": got mode " << got.colorMode
                << " routine " << got.ioRoutine << " byte " << got.byteOption;
        }
        if (c.target != kNull && c.target != kFreed) GlobalFree(handle);
    }
}

TEST_F(SetupCalls, DestroySetupFreesWhatItCanLockAndEditSetupDoesNothing) {
    HGLOBAL block = GlobalAlloc(GHND, 16), freed = GlobalAlloc(GHND, 16);
    GlobalFree(freed);
    const uint64_t blocks = WinshimGetCounts().globalBlocks;
    EXPECT_EQ(DestroySetup(freed), -7);
    EXPECT_EQ(DestroySetup(nullptr), -7);
    EXPECT_EQ(WinshimGetCounts().globalBlocks, blocks);
    EXPECT_EQ(DestroySetup(block), 0) << "any block, record or not";
    EXPECT_EQ(WinshimGetCounts().globalBlocks, blocks - 1);
    EXPECT_EQ(EditSetup(1, 2, 3), 0);
    EXPECT_TRUE(library.calls.empty());
}

TEST_F(SetupCalls, GetFilterInfoFillsANewOptionSetWithTheDefaults) {
    struct Case {
        const char* what;
        const char* profile;  // the module's profile; null: none
        bool failCreate, nowhere;
        uint16_t want;
        const char* wantCodes;
        uint32_t wantMode;
    };
    const Case cases[] = {
        {"no profile", nullptr, false, false, 2, "3 42 43 40 42 ", 1},
        {"the profile's colour mode", "[rondo]\n~Mode=M\n[M]\nDriver=d\nColor Mode=0\n", false, false, 2, "3 42 43 40 42 ", 0},
        {"no record: option 3 alone", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n", false, false, 2, "3 ", 0},
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
        EXPECT_EQ(EscapeCodes(library), c.wantCodes) << c.what;
        EXPECT_EQ(library.Count("OptionSetCreate"), c.nowhere ? 0u : 1u) << c.what;
        if (c.want == 0) {
            EXPECT_TRUE(c.nowhere || set == nullptr) << c.what;
            continue;
        }
        const auto escapes = library.Find("OptionSetEscape");
        for (const Call* call : escapes) EXPECT_EQ(call->args[0], int64_t(set)) << c.what << ": another set";
        EXPECT_EQ(escapes[0]->args, (std::vector<int64_t>{int64_t(set), 3, 2, escapes[0]->args[3], 0, 0, 0})) << c.what;
        if (escapes.size() == 5) {
            ASSERT_EQ(escapes[1]->data.size(), 56u) << c.what;
            EXPECT_EQ(escapes[1]->data[48], c.wantMode) << c.what << ": colour mode";
            EXPECT_EQ(escapes[3]->args, (std::vector<int64_t>{int64_t(set), 40, 1, escapes[3]->args[3], 0, 0, 255})) << c.what;
            EXPECT_EQ(escapes[4]->data, escapes[1]->data) << c.what << ": the block stored back changed";
        }
        GlobalFree(set);
    }
}

TEST_F(SetupCalls, GetFilterPrefRunsThePreferencesOverATemporaryRecord) {
    GetFilterPref(0, 0, nullptr, 0);
    EXPECT_TRUE(library.calls.empty()) << "no host handle";
    int host = 0;
    box.Write("{windows}/libxfprobe.INI", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n");
    GetFilterPref(0, 0, &host, 0);
    EXPECT_EQ(library.Count("PreferencesRun"), 0u) << "no record";
    box.Clean();
    GetFilterPref(0, 0x5EED, &host, 0);
    const auto runs = library.Find("PreferencesRun");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]->args, (std::vector<int64_t>{int64_t(&host), runs[0]->args[1], 0x5EED, int64_t(&EditSetup), 1}));
    EXPECT_EQ(runs[0]->texts, std::vector<std::string>{"XPM Import"});
    EXPECT_NE(runs[0]->args[1], 0);
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(runs[0]->args[1])), nullptr) << "the record outlived the call";
}

}  // namespace
}  // namespace xpmtest
