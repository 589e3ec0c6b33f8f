// Tests of the setup calls: EditSetup, DestroySetup, and EscapeSetup on setup records (with
// the "Color Mode" profile write into a real INI file) and on option sets (load, act, store).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/setup_record.h"
#include "recording_library.h"
#include "resources/module_instance.h"
#include "resources/resource_ids.h"
#include "xpmfilter/xpmfilter.h"

namespace {

using namespace xpmfilter;
using xpmtest::JoinOps;
using xpmtest::RecordingLibrary;

constexpr const char* kSection = "XPM Test";

// A temporary directory, the module's string table registered for a fake instance, and the
// recording fake bound; everything undone at the end.
class SetupCallsTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/xpm_setup_calls_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_TRUE(WinshimRegisterModuleResources(kModule(), &ModuleResources()));
        SetModuleInstance(kModule());
    }
    void TearDown() override {
        SetModuleInstance(nullptr);
        WinshimUnregisterModuleResources(kModule());
        std::filesystem::remove_all(dir_);
    }

    static HMODULE kModule() {
        static int anchor;
        return &anchor;
    }

    // A setup record as CreateSetup leaves it: magic, colour mode 1, a profile to write to.
    HGLOBAL MakeSetup(const std::string& profileName = "filter.ini") {
        HGLOBAL handle = GlobalAlloc(GHND, sizeof(SetupRecord));
        auto* setup = static_cast<SetupRecord*>(GlobalLock(handle));
        setup->magic = kSetupMagic;
        setup->options.colorMode = 1;
        std::snprintf(setup->profileSection, sizeof setup->profileSection, "%s", kSection);
        if (!profileName.empty())
            std::snprintf(setup->profilePath, sizeof setup->profilePath, "%s/%s", dir_.c_str(),
                          profileName.c_str());
        GlobalUnlock(handle);
        return handle;
    }

    static SavedOptions OptionsOf(HGLOBAL setupHandle) {
        auto* setup = static_cast<SetupRecord*>(GlobalLock(setupHandle));
        SavedOptions options = setup->options;
        GlobalUnlock(setupHandle);
        return options;
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    static std::string ProfileValue(const std::string& path, const char* section,
                                    const char* key) {
        char value[64] = {};
        GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, path.c_str());
        return value;
    }

    std::string dir_;
};

int64_t Address(const void* p) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)); }

// Answers `result` to OptionSetEscape with `code`.
void OverrideEscape(RecordingLibrary& fake, uint32_t code, int32_t result) {
    fake.escapeOverride = [=](uint32_t got, int32_t& answer) {
        if (got != code) return false;
        answer = result;
        return true;
    };
}

TEST_F(SetupCallsTest, EditSetupDoesNothing) {
    RecordingLibrary fake;
    EXPECT_EQ(EditSetup(0, 0, 0), 0);
    EXPECT_EQ(EditSetup(1, 2, 3), 0);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(SetupCallsTest, DestroySetupFreesWhatItCanLock) {
    struct Case {
        const char* name;
        int kind;  // 0 record, 1 other block, 2 freed, 3 invented, 4 null, 5 discarded (size 0)
        int32_t want;
    };
    const Case cases[] = {
        {"setup record", 0, 0},       {"block without magic", 1, 0}, {"freed handle", 2, -7},
        {"invented handle", 3, -7},   {"null handle", 4, -7},        {"zero-size block", 5, -7},
    };
    for (const Case& c : cases) {
        HGLOBAL handle = nullptr;
        switch (c.kind) {
            case 0: handle = MakeSetup(); break;
            case 1: handle = GlobalAlloc(GHND, 16); break;
            case 2: handle = GlobalAlloc(GHND, 16); GlobalFree(handle); break;
            case 3: handle = reinterpret_cast<HGLOBAL>(uintptr_t{0x7A7A7A70}); break;
            case 4: break;
            case 5: handle = GlobalAlloc(GHND, 0); break;
        }
        const uint64_t blocksBefore = WinshimGetCounts().globalBlocks;
        int32_t got = DestroySetup(handle);
        EXPECT_EQ(got, c.want) << c.name << ": got " << got << ", want " << c.want;
        const uint64_t blocksAfter = WinshimGetCounts().globalBlocks;
        if (c.want == 0) {
            EXPECT_EQ(blocksAfter + 1, blocksBefore) << c.name << ": the block is freed";
        } else {
            EXPECT_EQ(blocksAfter, blocksBefore) << c.name << ": nothing is freed";
        }
        EXPECT_EQ(WinshimGetCounts().globalLocks, 0u) << c.name;
        if (c.kind == 5) GlobalFree(handle);
    }
}

TEST_F(SetupCallsTest, ColorModeOnASetupRecord) {
    struct Case {
        const char* name;
        uint32_t value;
        uint32_t flag;
        uint32_t wantMode;
        const char* wantProfile;  // value under "Color Mode" afterwards; null: no profile file
        bool readOnlyProfile = false;  // the profile exists with "Color Mode=1" and mode 0444
        int32_t want = 0;
    };
    const Case cases[] = {
        {"2 with flag", 2, 1, 2, "2"},
        {"0 with flag", 0, 1, 0, "0"},
        {"2 without flag", 2, 0, 2, "<absent>"},
        {"7 with flag: stored, mode kept", 7, 1, 1, "7"},
        {"3 with flag: stored, mode kept", 3, 1, 1, "3"},
        {"all ones with flag: written as signed", 0xFFFFFFFFu, 1, 1, "-1"},
        {"7 without flag", 7, 0, 1, "<absent>"},
        {"flag 0x80000000 counts as set", 1, 0x80000000u, 1, "1"},
        {"no profile file: nothing written", 2, 1, 2, nullptr},
        {"read-only profile: not written, still 0", 2, 1, 2, "1", true, 0},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        const std::string ini = c.wantProfile ? "filter.ini" : "";
        HGLOBAL setup = MakeSetup(ini);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directory(dir_);
        if (c.readOnlyProfile) {
            std::ofstream(Path(ini)) << "[" << kSection << "]\nColor Mode=1\n";
            std::filesystem::permissions(Path(ini), std::filesystem::perms::owner_read);
        }
        uint32_t value = c.value;
        EXPECT_EQ(EscapeSetup(setup, 55, 4, &value, nullptr, c.flag), c.want) << c.name;
        EXPECT_EQ(OptionsOf(setup).colorMode, c.wantMode) << c.name;
        if (c.wantProfile) {
            EXPECT_EQ(ProfileValue(Path(ini), kSection, "Color Mode"), c.wantProfile) << c.name;
        } else {
            EXPECT_TRUE(std::filesystem::is_empty(dir_)) << c.name << ": a file was written";
        }
        EXPECT_TRUE(fake.calls.empty()) << c.name << ": got " << JoinOps(fake.Ops());
        EXPECT_EQ(DestroySetup(setup), 0);
    }
}

TEST_F(SetupCallsTest, ColorModeWriteKeepsTheRestOfTheProfile) {
    RecordingLibrary fake;
    const std::string ini = Path("filter.ini");
    std::ofstream(ini, std::ios::binary)
        << "[Other]\r\nColor Mode=1\r\nKey=kept\r\n[XPM Test]\r\nDriver=rondo.0\r\n"
           "Color Mode=1\r\nColorTableSource=FILE\r\n";
    HGLOBAL setup = MakeSetup("filter.ini");
    uint32_t value = 2;
    EXPECT_EQ(EscapeSetup(setup, 55, 0, &value, nullptr, 1), 0) << "size is not looked at";
    EXPECT_EQ(ProfileValue(ini, kSection, "Color Mode"), "2");
    EXPECT_EQ(ProfileValue(ini, kSection, "Driver"), "rondo.0");
    EXPECT_EQ(ProfileValue(ini, kSection, "ColorTableSource"), "FILE");
    EXPECT_EQ(ProfileValue(ini, "Other", "Color Mode"), "1") << "another section's key";
    EXPECT_EQ(ProfileValue(ini, "Other", "Key"), "kept");
    EXPECT_EQ(DestroySetup(setup), 0);
}

TEST_F(SetupCallsTest, ReadRoutineAndByteOptionOnASetupRecord) {
    struct Case {
        const char* name;
        uint32_t code;
        int32_t size;
        uint64_t wantRoutine;
        uint64_t wantByte;
    };
    uint8_t byte = 0xFE;
    const uint64_t address = reinterpret_cast<uintptr_t>(&byte);
    const uint64_t oldRoutine = 0x1111, oldByte = 0xAB00CD;
    const Case cases[] = {
        {"81 size 8: the address itself", 81, 8, address, oldByte},
        {"81 size 4: nothing", 81, 4, oldRoutine, oldByte},
        {"81 size 0: nothing", 81, 0, oldRoutine, oldByte},
        {"81 size -8: nothing", 81, -8, oldRoutine, oldByte},
        {"82 size 8: the byte, zero-extended", 82, 8, oldRoutine, 0xFE},
        {"82 size 1: nothing", 82, 1, oldRoutine, oldByte},
        {"82 size 16: nothing", 82, 16, oldRoutine, oldByte},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        HGLOBAL setup = MakeSetup();
        auto* record = static_cast<SetupRecord*>(GlobalLock(setup));
        record->options.ioRoutine = oldRoutine;
        record->options.byteOption = oldByte;
        record->options.hostData16[5] = 0x77;
        GlobalUnlock(setup);
        EXPECT_EQ(EscapeSetup(setup, c.code, c.size, &byte, nullptr, 0), 0) << c.name;
        SavedOptions options = OptionsOf(setup);
        EXPECT_EQ(options.ioRoutine, c.wantRoutine) << c.name;
        EXPECT_EQ(options.byteOption, c.wantByte) << c.name;
        EXPECT_EQ(options.colorMode, 1u) << c.name;
        EXPECT_EQ(options.hostData16[5], 0x77) << c.name;
        EXPECT_TRUE(fake.calls.empty()) << c.name << ": got " << JoinOps(fake.Ops());
        EXPECT_EQ(DestroySetup(setup), 0);
    }
}

TEST_F(SetupCallsTest, OtherCodesOnASetupRecordArePassedOnUnchanged) {
    RecordingLibrary fake;
    OverrideEscape(fake, 99, 1234);
    HGLOBAL setup = MakeSetup();
    int data = 5, extra = 6;
    EXPECT_EQ(EscapeSetup(setup, 99, 12, &data, &extra, 3), 1234);
    ASSERT_EQ(fake.Count("OptionSetEscape"), 1u) << JoinOps(fake.Ops());
    EXPECT_EQ(fake.Find("OptionSetEscape")[0]->args,
              (std::vector<int64_t>{Address(setup), 99, 12, Address(&data), Address(&extra), 3}));
    EXPECT_EQ(DestroySetup(setup), 0);
}

// An option set whose stored block carries recognisable host bytes.
HGLOBAL MakeOptionSet(RecordingLibrary& fake, SavedOptions& stored) {
    HGLOBAL set = fake.Table().OptionSetCreate(0, 0, 0, 0);
    stored = SavedOptions{};
    stored.ioRoutine = 0x2222;
    stored.byteOption = 0x33;
    for (int i = 0; i < 32; ++i) stored.hostData16[i] = static_cast<uint8_t>(i + 1);
    stored.colorMode = 1;
    stored.hostData52[3] = 0x99;
    (void)fake.Table().OptionSetEscape(set, 42, 56, &stored, nullptr, 0);
    fake.calls.clear();
    return set;
}

SavedOptions StoredBlock(const xpmtest::Call& store) {
    SavedOptions options{};
    if (store.data.size() == sizeof options) std::memcpy(&options, store.data.data(), sizeof options);
    return options;
}

TEST_F(SetupCallsTest, OptionSetLoadActStore) {
    struct Case {
        const char* name;
        uint32_t code;
        int32_t size;
        uint32_t data;
        uint32_t flag;
        uint32_t wantMode;
        bool routineChanged;
        bool byteChanged;
    };
    const Case cases[] = {
        {"55 to 0 with flag", 55, 4, 0, 1, 0, false, false},
        {"55 to 7: mode kept", 55, 4, 7, 1, 1, false, false},
        {"81 size 8", 81, 8, 0xC4, 0, 1, true, false},
        {"81 size 4", 81, 4, 0xC4, 0, 1, false, false},
        {"82 size 8", 82, 8, 0xC4, 0, 1, false, true},
        {"82 size 2", 82, 2, 0xC4, 0, 1, false, false},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        SavedOptions stored{};
        HGLOBAL set = MakeOptionSet(fake, stored);
        uint32_t data = c.data;
        EXPECT_EQ(EscapeSetup(set, c.code, c.size, &data, nullptr, c.flag), 0) << c.name;
        auto escapes = fake.Find("OptionSetEscape");
        ASSERT_EQ(escapes.size(), 2u) << c.name << ": got " << JoinOps(fake.Ops());
        // Load (43) into somewhere with no input, then store (42) from somewhere, no output.
        const auto& load = escapes[0]->args;
        const auto& store = escapes[1]->args;
        EXPECT_EQ(load, (std::vector<int64_t>{Address(set), 43, 56, 0, load[4], 0})) << c.name;
        EXPECT_NE(load[4], 0) << c.name << ": load has somewhere to write";
        EXPECT_EQ(store, (std::vector<int64_t>{Address(set), 42, 56, store[3], 0, 0})) << c.name;

        SavedOptions want = stored;
        want.colorMode = c.wantMode;
        if (c.routineChanged) want.ioRoutine = reinterpret_cast<uintptr_t>(&data);
        if (c.byteChanged) want.byteOption = 0xC4;
        SavedOptions got = StoredBlock(*escapes[1]);
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0)
            << c.name << ": got colorMode " << got.colorMode << " ioRoutine " << got.ioRoutine
            << " byteOption " << got.byteOption;
        GlobalFree(set);
    }
}

TEST_F(SetupCallsTest, OptionSetPassedOnCodeIsWrappedInLoadAndStore) {
    RecordingLibrary fake;
    SavedOptions stored{};
    HGLOBAL set = MakeOptionSet(fake, stored);
    OverrideEscape(fake, 99, -5);
    int extra = 0;
    uint32_t data = 1;
    EXPECT_EQ(EscapeSetup(set, 99, 4, &data, &extra, 9), -5);
    auto escapes = fake.Find("OptionSetEscape");
    ASSERT_EQ(escapes.size(), 3u) << JoinOps(fake.Ops());
    EXPECT_EQ(escapes[0]->args[1], 43);
    EXPECT_EQ(escapes[1]->args,
              (std::vector<int64_t>{Address(set), 99, 4, Address(&data), Address(&extra), 9}));
    EXPECT_EQ(escapes[2]->args[1], 42);
    SavedOptions got = StoredBlock(*escapes[2]);
    EXPECT_EQ(std::memcmp(&got, &stored, sizeof got), 0) << "the loaded block goes back as it was";
    GlobalFree(set);
}

TEST_F(SetupCallsTest, OptionSetFailedLoadActsOnNothing) {
    RecordingLibrary fake;
    SavedOptions stored{};
    HGLOBAL set = MakeOptionSet(fake, stored);
    OverrideEscape(fake, 43, -1);
    for (uint32_t code : {55u, 81u, 99u}) {
        fake.calls.clear();
        uint32_t data = 2;
        EXPECT_EQ(EscapeSetup(set, code, 8, &data, nullptr, 1), -1) << "code " << code;
        EXPECT_EQ(JoinOps(fake.Ops()), "OptionSetEscape") << "code " << code << ": only the load";
    }
    GlobalFree(set);
}

TEST_F(SetupCallsTest, HandlesThatCannotBeUsed) {
    RecordingLibrary fake;
    uint32_t value = 2;
    EXPECT_EQ(EscapeSetup(nullptr, 55, 4, &value, nullptr, 1), 0) << "null handle";
    EXPECT_EQ(EscapeSetup(nullptr, 99, 4, &value, nullptr, 1), 0) << "null handle, code 99";

    HGLOBAL freed = MakeSetup();
    GlobalFree(freed);
    EXPECT_EQ(EscapeSetup(freed, 55, 4, &value, nullptr, 1), -7) << "freed handle";
    EXPECT_EQ(EscapeSetup(freed, 99, 4, &value, nullptr, 1), -7) << "freed handle, code 99";
    HGLOBAL invented = reinterpret_cast<HGLOBAL>(uintptr_t{0x6B6B6B60});
    EXPECT_EQ(EscapeSetup(invented, 81, 8, &value, nullptr, 0), -7) << "invented handle";
    EXPECT_TRUE(fake.calls.empty()) << "got " << JoinOps(fake.Ops());
    EXPECT_EQ(WinshimGetCounts().globalLocks, 0u);
}

TEST_F(SetupCallsTest, ASmallBlockWithTheMagicIsNotTakenForARecord) {
    RecordingLibrary fake;
    HGLOBAL small = GlobalAlloc(GHND, 8);
    auto* bytes = static_cast<uint32_t*>(GlobalLock(small));
    bytes[0] = kSetupMagic;
    GlobalUnlock(small);
    uint32_t value = 2;
    // Taken for an option set: the fake refuses to load from it, so nothing else happens.
    EXPECT_EQ(EscapeSetup(small, 55, 4, &value, nullptr, 1), -1);
    EXPECT_EQ(JoinOps(fake.Ops()), "OptionSetEscape");
    EXPECT_EQ(DestroySetup(small), 0);
}

}  // namespace
