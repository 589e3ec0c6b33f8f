// ImportGR, ImportCB and ImportEmbeddedGR against the recording library: the option-set
// conversation and its order, refusals, the status record handed to the import, the picture
// handed back (or discarded) and the width of the result.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recording_library.h"
#include "resources/module_instance.h"
#include "resources/resource_ids.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

namespace fs = std::filesystem;

constexpr char kXpm[] =
    "/* XPM */\nstatic char *x[] = {\n\"2 2 2 1\",\n\"a c #ff0000\",\n\"b c none\",\n"
    "\"ab\",\n\"ba\"\n};\n";

void Anchor() {}

template <typename Word, size_t N>
std::vector<uint8_t> Bytes(const Word (&words)[N]) {
    std::vector<uint8_t> bytes(sizeof words);
    std::memcpy(bytes.data(), words, sizeof words);
    return bytes;
}
// A minimal enhanced metafile (header and end-of-file records) and Windows metafile.
const uint32_t kEmf[] = {1, 88, 0, 0, 9, 9, 0, 0, 100, 100, 0x464D4520, 0x10000, 108, 2, 1,
                         0, 0, 0, 1024, 768, 320, 240, 14, 20, 0, 16, 20};
const uint16_t kWmf[] = {1, 9, 0x0300, 12, 0, 0, 3, 0, 0, 3, 0, 0};

enum class Entry { kGR, kCB, kEmbedded };
const char* Name(Entry e) {
    return e == Entry::kGR ? "ImportGR" : e == Entry::kCB ? "ImportCB" : "ImportEmbeddedGR";
}

int32_t ReadNothing(uint64_t, void*, int32_t) { return 0; }

// The sink as the import's output saw it when it opened.
struct SinkProbe {
    static inline StatusSink atOpen{};
};

HGLOBAL MemoryWith(const char* text, size_t size) {
    HGLOBAL memory = GlobalAlloc(GHND, size);
    std::memcpy(GlobalLock(memory), text, size);
    GlobalUnlock(memory);
    return memory;
}

class ImportEntryTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        module_ = WinshimModuleFromAddress(reinterpret_cast<const void*>(&Anchor));
        WinshimRegisterModuleResources(module_, &xpmfilter::ModuleResources());
        xpmfilter::SetModuleInstance(module_);
        char pattern[] = "/tmp/xfimport.XXXXXX";
        windows_ = mkdtemp(pattern);
        setenv("WINDIR", windows_.c_str(), 1);
        char path[MAX_PATH] = {};
        GetModuleFileNameA(module_, path, MAX_PATH);
        profile_ = windows_ + "/" + fs::path(path).filename().replace_extension(".INI").string();
    }
    static void TearDownTestSuite() {
        xpmfilter::SetModuleInstance(nullptr);
        WinshimUnregisterModuleResources(module_);
        fs::remove_all(windows_);
    }

    ImportEntryTest() : source(std::make_unique<SourceSpec>()) {
        table_ = library.Table();
        table_.OutputOpen = [](WriterHandle writer, const char* outputSpec, const char* name,
                               int32_t reserved, OptionSetHandle set, StatusSink* sink) {
            SinkProbe::atOpen = *sink;
            return RecordingLibrary::Current().Table().OutputOpen(writer, outputSpec, name,
                                                                  reserved, set, sink);
        };
        xpmfilter::BindGraphicsLibrary(&table_);
        SinkProbe::atOpen = StatusSink{};
        library.input = kXpm;
        std::strcpy(source->path, "picture.xpm");
    }
    void TearDown() override { fs::remove(profile_); }

    int64_t Run(Entry entry, OptionSetHandle set, const char* outputSpec = nullptr) {
        switch (entry) {
            case Entry::kGR: return ImportGR(&hostValue, source.get(), &result, set);
            case Entry::kCB: return ImportCB(&hostValue, source.get(), &result, set, 0, nullptr);
            case Entry::kEmbedded:
                return ImportEmbeddedGR(&hostValue, source.get(), &result, set, 0, outputSpec);
        }
        return -999;
    }

    // Option-set creation, escapes by code, and the import job, in order.
    std::string Conversation() const {
        std::string out;
        for (const Call& call : library.calls) {
            std::string item;
            if (call.op == "OptionSetEscape") item = std::to_string(call.args[1]);
            else if (call.op == "OptionSetCreate" || call.op == "ImportJobBegin" ||
                     call.op == "ImportJobEnd")
                item = call.op;
            else continue;
            out += (out.empty() ? "" : " ") + item;
        }
        return out;
    }

    OptionSetHandle HostSet() {
        OptionSetHandle set = library.Table().OptionSetCreate(0, 0, 0, 0);
        library.calls.clear();
        return set;
    }
    // Gives back the picture and the host's set after one case.
    void EndCase(OptionSetHandle host) {
        if (result.picture != nullptr) DeleteEnhMetaFile(result.picture);
        result = PictureResult{};
        library.calls.clear();
        if (host != nullptr) GlobalFree(host);
    }

    static inline HMODULE module_ = nullptr;
    static inline std::string windows_, profile_;
    RecordingLibrary library;
    xpmfilter::GraphicsLibrary table_{};
    std::unique_ptr<SourceSpec> source;
    PictureResult result{};
    int hostValue = 0;
};

TEST_F(ImportEntryTest, OptionSetConversationInOrder) {
    struct Case {
        Entry entry;
        bool hostSet;
        const char* want;
    };
    const char* kOwn = "OptionSetCreate 3 4 43 26 ImportJobBegin 42 ImportJobEnd";
    const char* kHost = "4 43 26 ImportJobBegin 42 ImportJobEnd";
    const Case cases[] = {{Entry::kGR, false, kOwn}, {Entry::kCB, false, kOwn},
                          {Entry::kGR, true, kHost}, {Entry::kCB, true, kHost},
                          {Entry::kEmbedded, true, kHost}};
    for (const Case& c : cases) {
        const std::string what = std::string(Name(c.entry)) + (c.hostSet ? " host set" : " no set");
        OptionSetHandle host = c.hostSet ? HostSet() : nullptr;
        EXPECT_EQ(Run(c.entry, host), 0) << what;
        EXPECT_EQ(Conversation(), c.want) << what;
        auto escapes = library.Find("OptionSetEscape");
        ASSERT_FALSE(escapes.empty()) << what;
        auto used = reinterpret_cast<HGLOBAL>(escapes[0]->args[0]);
        for (const Call* call : escapes)
            EXPECT_EQ(call->args[0], escapes[0]->args[0]) << what << ": one set throughout";
        if (!c.hostSet) {
            EXPECT_EQ(escapes[0]->args[2], 2) << what << ": code 3 size";
            EXPECT_EQ(escapes[0]->args.back(), 0) << what << ": code 3 value";
            EXPECT_EQ(GlobalLock(used), nullptr) << what << ": the call's own set was not freed";
        } else {
            EXPECT_EQ(used, host) << what;
            ASSERT_NE(GlobalLock(host), nullptr) << what << ": the host's set was freed";
            GlobalUnlock(host);
        }
        EndCase(host);
    }
}

TEST_F(ImportEntryTest, RefusalsBeforeTheImport) {
    struct Case {
        const char* name;
        Entry entry;
        bool hostSet;
        std::function<void(RecordingLibrary&)> script;
        const char* profile;  // null: none
        int64_t want;
        const char* wantConversation;  // null: not looked at
    };
    auto query4 = [](RecordingLibrary& f) { f.query4Answer = 1; };
    auto noSet = [](RecordingLibrary& f) { f.failOptionSetCreate = true; };
    auto none = [](RecordingLibrary&) {};
    const char* noDriver = "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n";
    const Case cases[] = {
        {"query 4", Entry::kGR, false, query4, nullptr, 5355, "OptionSetCreate 3 4"},
        {"query 4", Entry::kCB, true, query4, nullptr, 5355, "4"},
        {"query 4", Entry::kEmbedded, true, query4, nullptr, 5355, "4"},
        {"no host set", Entry::kEmbedded, false, none, nullptr, 5315, ""},
        {"set not made", Entry::kGR, false, noSet, nullptr, 5315, "OptionSetCreate"},
        {"set not made", Entry::kCB, false, noSet, nullptr, 5315, "OptionSetCreate"},
        {"no setup record", Entry::kGR, false, none, noDriver, 5315, nullptr},
        {"no setup record", Entry::kCB, false, none, noDriver, 5315, nullptr},
        {"no setup record", Entry::kEmbedded, true, none, noDriver, 5315, nullptr},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.name) + ", " + Name(c.entry);
        library.query4Answer = 0;
        library.failOptionSetCreate = false;
        c.script(library);
        fs::remove(profile_);
        if (c.profile != nullptr) std::ofstream(profile_) << c.profile;
        OptionSetHandle host = c.hostSet ? HostSet() : nullptr;
        result.unitsPerInch = 1234;
        EXPECT_EQ(Run(c.entry, host), c.want) << what;
        if (c.wantConversation != nullptr) {
            EXPECT_EQ(Conversation(), c.wantConversation) << what;
            // Locating a profile (CreateSetup) would have appended a path.
            EXPECT_EQ(library.Count("StrAppendBounded"), 0u) << what << ": a record was made";
        }
        if (c.entry == Entry::kEmbedded && !c.hostSet) {
            EXPECT_TRUE(library.calls.empty()) << what << ": got " << JoinOps(library.Ops());
        }
        EXPECT_EQ(library.Count("ImportJobBegin"), 0u) << what;
        EXPECT_EQ(result.unitsPerInch, 1234) << what << ": the picture result was touched";
        EndCase(host);
    }
}

TEST_F(ImportEntryTest, JobStatusRecordAndTextsCarryWhatTheHostGave) {
    struct Case {
        Entry entry;
        const char* path;
        const char* outputSpec;  // ImportEmbeddedGR's last argument; the others take none
        bool wantMemoryHandle;
        const char* wantOutputSpec;
    };
    const Case cases[] = {
        {Entry::kGR, "picture.xpm", nullptr, false, ""},
        {Entry::kGR, "", nullptr, true, ""},
        {Entry::kCB, "", nullptr, true, ""},
        {Entry::kCB, "dir/other.xpm", nullptr, false, ""},
        {Entry::kEmbedded, "picture.xpm", "WMF", false, "WMF"},
        {Entry::kEmbedded, "", nullptr, false, ""},
        {Entry::kEmbedded, "dir/other.xpm", "", false, ""},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(Name(c.entry)) + " path \"" + c.path + "\"";
        HGLOBAL memory = MemoryWith(kXpm, sizeof kXpm);
        source->memory = memory;
        std::strcpy(source->path, c.path);
        OptionSetHandle host = HostSet();
        SinkProbe::atOpen = StatusSink{};

        EXPECT_EQ(Run(c.entry, host, c.outputSpec), 0) << what;
        auto begins = library.Find("ImportJobBegin");
        auto ends = library.Find("ImportJobEnd");
        ASSERT_EQ(begins.size(), 1u) << what;
        ASSERT_EQ(ends.size(), 1u) << what;
        EXPECT_EQ(begins[0]->texts, (std::vector<std::string>{"XPM Import", c.path})) << what;
        EXPECT_EQ(begins[0]->args[0], reinterpret_cast<int64_t>(GetActiveWindow())) << what;
        EXPECT_EQ(begins[0]->args[1], 0) << what;
        EXPECT_EQ(begins[0]->args[2], 0x08000005) << what << ": version";
        EXPECT_EQ(static_cast<uint64_t>(ends[0]->args[0]), SinkProbe::atOpen.userData)
            << what << ": the sink's user data is not the job";
        EXPECT_EQ(SinkProbe::atOpen.statusProc,
                  reinterpret_cast<uint64_t>(library.Table().DefaultStatusProc)) << what;
        EXPECT_EQ(SinkProbe::atOpen.hostValue, reinterpret_cast<uint64_t>(&hostValue)) << what;
        EXPECT_EQ(SinkProbe::atOpen.dataHandle,
                  c.wantMemoryHandle ? reinterpret_cast<uint64_t>(memory) : 0u) << what;

        auto opens = library.Find("OutputOpen");
        ASSERT_EQ(opens.size(), 1u) << what;
        EXPECT_EQ(opens[0]->texts, (std::vector<std::string>{c.wantOutputSpec, ""})) << what;
        EXPECT_EQ(opens[0]->args[1], reinterpret_cast<int64_t>(host)) << what << ": option set";
        if (c.path[0] != '\0') {
            EXPECT_EQ(library.Find("StreamOpen")[0]->texts, std::vector<std::string>{c.path})
                << what << ": input path";
        }
        EXPECT_EQ(library.Find("WriterSetNames")[0]->texts,
                  (std::vector<std::string>{"", "", ""})) << what;
        EndCase(host);
        GlobalFree(memory);
    }
}

TEST_F(ImportEntryTest, AFailedImportFromMemoryLeavesTheHostsBlockAlone) {
    // Nothing replaces the input handle in the status record when the import fails before
    // the output opens; discarding "the picture" must not touch the host's memory.
    const std::string text = "not an image\n";
    library.input = text;
    source->path[0] = '\0';
    for (Entry entry : {Entry::kGR, Entry::kCB}) {
        HGLOBAL memory = MemoryWith(text.data(), text.size());
        source->memory = memory;
        OptionSetHandle host = HostSet();
        const int64_t got = Run(entry, host);
        EXPECT_EQ(got, 0xFFE9) << Name(entry) << ": got " << got << ", want -23 in 16 bits";
        EXPECT_EQ(result.picture, nullptr) << Name(entry);
        void* bytes = GlobalLock(memory);
        ASSERT_NE(bytes, nullptr) << Name(entry) << ": the host's block was freed";
        EXPECT_EQ(std::string(static_cast<const char*>(bytes), text.size()), text) << Name(entry);
        GlobalUnlock(memory);
        EXPECT_EQ(GlobalFlags(memory) & GMEM_LOCKCOUNT, 0u) << Name(entry) << ": left locked";
        EndCase(host);
        GlobalFree(memory);
    }
}

TEST_F(ImportEntryTest, PictureHandedBackOrDiscarded) {
    struct Case {
        Entry entry;
        int32_t bounds[4];
        int32_t units;
        bool enhanced;
        int16_t jobEnd;
        int32_t wantUnits;
    };
    const Case cases[] = {
        {Entry::kGR, {0, 0, 300, 200}, 0, true, 0, 60},
        {Entry::kCB, {0, 0, 300, 200}, 0, true, 0, 60},
        {Entry::kEmbedded, {0, 0, 300, 200}, 0, true, 0, 1440},
        {Entry::kGR, {300, 200, 0, 0}, 0, true, 0, 60},
        {Entry::kGR, {-10, 0, 10, 600}, 0, true, 0, 120},
        {Entry::kGR, {0, 0, 4, 4}, 0, true, 0, 0},
        {Entry::kGR, {0, 0, 300, 200}, 96, true, 0, 96},
        {Entry::kEmbedded, {0, 0, 300, 200}, 96, true, 0, 96},
        // A failed import: the picture is deleted as what it is.
        {Entry::kGR, {0, 0, 300, 200}, 0, true, 7, 60},
        {Entry::kGR, {0, 0, 300, 200}, 0, false, 7, 60},
        {Entry::kCB, {0, 0, 300, 200}, 0, false, 7, 60},
        {Entry::kEmbedded, {0, 0, 300, 200}, 0, true, 7, 1440},
        {Entry::kEmbedded, {0, 0, 300, 200}, 0, false, 7, 1440},
    };
    const std::vector<uint8_t> emf = Bytes(kEmf), wmf = Bytes(kWmf);
    for (const Case& c : cases) {
        const std::string what = std::string(Name(c.entry)) + " units " +
                                 std::to_string(c.units) + (c.enhanced ? " EMF" : " WMF") +
                                 " job end " + std::to_string(c.jobEnd);
        void* left = nullptr;
        library.fillSink = [&](StatusSink& sink) {
            left = c.enhanced ? SetEnhMetaFileBits(static_cast<UINT>(emf.size()), emf.data())
                              : SetMetaFileBitsEx(static_cast<UINT>(wmf.size()), wmf.data());
            sink.dataHandle = reinterpret_cast<uint64_t>(left);
            std::memcpy(sink.bounds, c.bounds, sizeof sink.bounds);
            sink.unitsPerInch = c.units;
        };
        library.jobEndResult = [&] { return c.jobEnd; };
        OptionSetHandle host = HostSet();
        EXPECT_EQ(Run(c.entry, host), c.jobEnd) << what;
        EXPECT_EQ(result.unitsPerInch, c.wantUnits) << what;
        EXPECT_EQ(std::vector<int32_t>(result.bounds, result.bounds + 4),
                  std::vector<int32_t>(c.bounds, c.bounds + 4)) << what;
        ASSERT_NE(left, nullptr) << what;
        if (c.jobEnd == 0) {
            ASSERT_NE(result.picture, nullptr) << what;
            EXPECT_EQ(GetObjectType(result.picture), OBJ_ENHMETAFILE) << what;
        } else {
            EXPECT_EQ(result.picture, nullptr) << what;
            EXPECT_EQ(GetObjectType(left), 0u) << what << ": the picture was not deleted";
        }
        EndCase(host);
    }
}

TEST_F(ImportEntryTest, ResultWidthDiffersBetweenTheCalls) {
    struct Case {
        int16_t jobEnd;
        Entry entry;
        int64_t want;
    };
    const Case cases[] = {
        {-1, Entry::kGR, 65535},         {-1, Entry::kCB, 65535},    {-1, Entry::kEmbedded, -1},
        {-32768, Entry::kGR, 32768},     {-32768, Entry::kEmbedded, -32768},
        {61, Entry::kGR, 61},            {61, Entry::kEmbedded, 61},
    };
    for (const Case& c : cases) {
        library.jobEndResult = [&] { return c.jobEnd; };
        OptionSetHandle host = HostSet();
        EXPECT_EQ(Run(c.entry, host), c.want) << Name(c.entry) << " job end " << c.jobEnd;
        EXPECT_EQ(result.picture, nullptr) << Name(c.entry) << " job end " << c.jobEnd;
        EndCase(host);
    }
}

TEST_F(ImportEntryTest, ReadRoutineReplacesTheLoadedOneAndIsStoredBack) {
    OptionSetHandle host = HostSet();
    SavedOptions before{};
    before.ioRoutine = 0x1234;
    before.colorMode = 2;
    for (size_t i = 0; i < sizeof before.hostData16; ++i) before.hostData16[i] = uint8_t(i + 1);
    ASSERT_EQ(library.Table().OptionSetEscape(host, 42, 56, &before, nullptr, 0), 0);
    library.calls.clear();

    EXPECT_EQ(ImportCB(&hostValue, source.get(), &result, host, 77, &ReadNothing), 0u);
    const Call& stored = *library.Find("OptionSetEscape").back();
    ASSERT_EQ(stored.args[1], 42);
    ASSERT_EQ(stored.data.size(), 56u);
    SavedOptions after;
    std::memcpy(&after, stored.data.data(), sizeof after);
    EXPECT_EQ(after.ioRoutine, reinterpret_cast<uint64_t>(&ReadNothing));
    EXPECT_EQ(after.colorMode, 2u);
    EXPECT_EQ(std::memcmp(after.hostData16, before.hostData16, sizeof after.hostData16), 0);

    // The import read through the routine although the path names a file.
    auto opens = library.Find("StreamOpen");
    ASSERT_EQ(opens.size(), 1u);
    ASSERT_GE(opens[0]->args.size(), 5u);
    EXPECT_EQ(opens[0]->args[2], 77) << "user data";
    EXPECT_EQ(opens[0]->args[4], reinterpret_cast<int64_t>(&ReadNothing)) << "routine";
    EndCase(host);
}

TEST_F(ImportEntryTest, EveryFailedAllocationIsCleanedUp) {
    // Allocation n fails, for n = 0, 1, 2, ... until the import no longer meets a failure.
    bool succeeded = false;
    int64_t n = 0;
    for (; n < 1000 && !succeeded; ++n) {
        const WinshimCounts before = WinshimGetCounts();
        WinshimFailAllocationAfter(n);
        const int64_t got = Run(Entry::kGR, nullptr);
        WinshimFailAllocationAfter(-1);
        succeeded = got == 0;
        if (n < 2) {
            EXPECT_EQ(got, 5315) << "allocation " << n << " failed";
        }
        if (!succeeded) {
            EXPECT_EQ(result.picture, nullptr) << "allocation " << n << " failed";
        }
        EndCase(nullptr);
        const WinshimCounts after = WinshimGetCounts();
        EXPECT_EQ(after.globalBlocks, before.globalBlocks) << "allocation " << n << " failed";
        EXPECT_EQ(after.globalLocks, before.globalLocks) << "allocation " << n << " failed";
        EXPECT_EQ(after.localBlocks, before.localBlocks) << "allocation " << n << " failed";
        EXPECT_EQ(after.localLocks, before.localLocks) << "allocation " << n << " failed";
        EXPECT_EQ(library.OpenJobs(), 0u) << "allocation " << n << " failed";
    }
    EXPECT_TRUE(succeeded);
    // The option set, the setup record and at least one allocation inside the import.
    EXPECT_GT(n, 3) << "the import succeeded with only " << n - 1 << " allocations";
}

}  // namespace
}  // namespace xpmtest
