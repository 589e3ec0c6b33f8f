// GetFilterInfo and GetFilterPref against the recording library: what the host's new option
// set receives and in which order, and what the preferences dialog is given.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/setup_record.h"
#include "resources/module_instance.h"
#include "recording_library.h"
#include "resources/resource_ids.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

namespace fs = std::filesystem;

void Anchor() {}

// The test executable serves as the module: its instance holds the filter's strings, and
// WINDIR points at a private directory where its default profile may be written.
class FilterInfoTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        module_ = WinshimModuleFromAddress(reinterpret_cast<const void*>(&Anchor));
        WinshimRegisterModuleResources(module_, &xpmfilter::ModuleResources());
        xpmfilter::SetModuleInstance(module_);
        char pattern[] = "/tmp/xfinfo.XXXXXX";
        windows_ = mkdtemp(pattern);
        setenv("WINDIR", windows_.c_str(), 1);
        char path[MAX_PATH] = {};
        GetModuleFileNameA(module_, path, MAX_PATH);
        fs::path name = fs::path(path).filename();
        profile_ = windows_ + "/" + name.replace_extension(".INI").string();
    }
    static void TearDownTestSuite() {
        xpmfilter::SetModuleInstance(nullptr);
        WinshimUnregisterModuleResources(module_);
        fs::remove_all(windows_);
    }
    void TearDown() override { fs::remove(profile_); }

    static void WriteProfile(const std::string& text) { std::ofstream(profile_) << text; }

    // The codes of the option-set escapes, in order.
    std::vector<int64_t> EscapeCodes() const {
        std::vector<int64_t> codes;
        for (const Call* call : library.Find("OptionSetEscape")) codes.push_back(call->args[1]);
        return codes;
    }

    static inline HMODULE module_ = nullptr;
    static inline std::string windows_, profile_;
    RecordingLibrary library;
};

uint32_t ColorModeOf(const Call& store) {
    uint32_t mode = 0;
    std::memcpy(&mode, store.data.data() + offsetof(SavedOptions, colorMode), sizeof mode);
    return mode;
}

TEST_F(FilterInfoTest, NewOptionSetGetsDefaultsInOrder) {
    struct Case {
        const char* profile;  // null: no profile file
        uint32_t wantColorMode;
        std::vector<int64_t> wantCodes;
    };
    const std::vector<int64_t> all = {3, 42, 43, 40, 42};
    const Case cases[] = {
        {nullptr, 1, all},
        {"[rondo]\n~Mode=M\n[M]\nDriver=d\nColor Mode=2\n", 2, all},
        {"[rondo]\n~Mode=M\n[M]\nDriver=d\nColor Mode=0\n", 0, all},
        {"[rondo]\n~Mode=M\n[M]\nColor Mode=2\n", 0, {3}},  // no Driver: no record, still a set
    };
    for (const Case& c : cases) {
        const std::string what = c.profile ? c.profile : "no profile";
        fs::remove(profile_);
        if (c.profile) WriteProfile(c.profile);
        library.calls.clear();

        OptionSetHandle set = reinterpret_cast<OptionSetHandle>(0x1);
        EXPECT_EQ(GetFilterInfo(0, 0, &set, 0), 2) << what;
        ASSERT_NE(set, nullptr) << what;
        EXPECT_EQ(library.Count("OptionSetCreate"), 1u) << what;
        EXPECT_EQ(library.Find("OptionSetCreate")[0]->args, (std::vector<int64_t>{0, 0, 0, 0}));
        EXPECT_EQ(EscapeCodes(), c.wantCodes) << what;
        auto escapes = library.Find("OptionSetEscape");
        ASSERT_FALSE(escapes.empty()) << what;
        for (const Call* call : escapes)
            EXPECT_EQ(call->args[0], reinterpret_cast<int64_t>(set)) << what << ": wrong set";
        EXPECT_EQ(escapes[0]->args[2], 2) << what << ": code 3 size";
        EXPECT_EQ(escapes[0]->args.back(), 0) << what << ": code 3 value";
        if (escapes.size() == 5) {
            EXPECT_EQ(escapes[1]->args[2], 56) << what << ": store size";
            ASSERT_EQ(escapes[1]->data.size(), 56u) << what;
            EXPECT_EQ(ColorModeOf(*escapes[1]), c.wantColorMode) << what;
            EXPECT_EQ(escapes[3]->args[2], 1) << what << ": code 40 size";
            EXPECT_EQ(escapes[3]->args.back(), 255) << what << ": code 40 value";
            EXPECT_EQ(escapes[4]->data, escapes[1]->data) << what << ": block stored back changed";
        }
        GlobalFree(set);
    }
}

TEST_F(FilterInfoTest, NoOptionSetOrNoPlaceForItGivesZero) {
    EXPECT_EQ(GetFilterInfo(0, 0, nullptr, 0), 0);
    EXPECT_TRUE(library.calls.empty()) << JoinOps(library.Ops());

    library.failOptionSetCreate = true;
    OptionSetHandle set = reinterpret_cast<OptionSetHandle>(0x1);
    EXPECT_EQ(GetFilterInfo(0, 0, &set, 0), 0);
    EXPECT_EQ(set, nullptr);
    EXPECT_EQ(JoinOps(library.Ops()), "OptionSetCreate");
}

// What PreferencesRun saw of the setup record while it ran.
struct PreferencesProbe {
    static inline uint32_t magic = 0;
    static inline std::string driver;
};

TEST_F(FilterInfoTest, PreferencesRunOverATemporarySetupRecord) {
    WriteProfile("[rondo]\n~Mode=M\n[M]\nDriver=pref.drv\n");
    xpmfilter::GraphicsLibrary table = library.Table();
    table.PreferencesRun = [](void* host, HGLOBAL setup, uint64_t hostValue, VrEditRoutine edit,
                              uint32_t kind, const char* title) {
        if (auto* record = static_cast<const xpmfilter::SetupRecord*>(GlobalLock(setup))) {
            PreferencesProbe::magic = record->magic;
            PreferencesProbe::driver = record->driverName;
            GlobalUnlock(setup);
        }
        return RecordingLibrary::Current().Table().PreferencesRun(host, setup, hostValue, edit,
                                                                  kind, title);
    };
    xpmfilter::BindGraphicsLibrary(&table);
    PreferencesProbe::magic = 0;

    int host = 0;
    GetFilterPref(0, 0x5EED, &host, 0);
    auto runs = library.Find("PreferencesRun");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]->args[0], reinterpret_cast<int64_t>(&host));
    EXPECT_EQ(runs[0]->args[2], 0x5EED);
    EXPECT_EQ(runs[0]->args[3], reinterpret_cast<int64_t>(&EditSetup));
    EXPECT_EQ(runs[0]->args[4], 1);
    EXPECT_EQ(runs[0]->texts, (std::vector<std::string>{"XPM Import"}));
    EXPECT_EQ(PreferencesProbe::magic, 0xFFEEDDCCu);
    EXPECT_EQ(PreferencesProbe::driver, "pref.drv");
    // The record is gone once the call returns.
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(runs[0]->args[1])), nullptr);
}

TEST_F(FilterInfoTest, PreferencesNeedAHostHandleAndARecord) {
    GetFilterPref(0, 0, nullptr, 0);
    EXPECT_TRUE(library.calls.empty()) << JoinOps(library.Ops());

    WriteProfile("[rondo]\n~Mode=M\n[M]\nColor Mode=2\n");  // no Driver: no record
    int host = 0;
    GetFilterPref(0, 0, &host, 0);
    EXPECT_EQ(library.Count("PreferencesRun"), 0u) << JoinOps(library.Ops());
}

TEST_F(FilterInfoTest, FailedAllocationsLeaveNothingBehind) {
    struct Case {
        int64_t allowed;  // allocations that succeed before one fails
        uint16_t want;
        const char* wantCodes;
    };
    const Case cases[] = {
        {0, 0, ""},             // no option set
        {1, 2, "3"},            // no setup record
        {2, 2, "3 42 43 40 42"},
    };
    for (const Case& c : cases) {
        library.calls.clear();
        OptionSetHandle set = reinterpret_cast<OptionSetHandle>(0x1);
        WinshimFailAllocationAfter(c.allowed);
        const uint16_t got = GetFilterInfo(0, 0, &set, 0);
        WinshimFailAllocationAfter(-1);
        EXPECT_EQ(got, c.want) << c.allowed << " allocations";
        std::string codes;
        for (int64_t code : EscapeCodes()) codes += (codes.empty() ? "" : " ") + std::to_string(code);
        EXPECT_EQ(codes, c.wantCodes) << c.allowed << " allocations";
        if (c.want == 0) {
            EXPECT_EQ(set, nullptr) << c.allowed << " allocations";
        }
        if (set != nullptr) GlobalFree(set);
    }
}

}  // namespace
}  // namespace xpmtest
