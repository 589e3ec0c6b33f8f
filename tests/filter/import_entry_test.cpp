// ImportGR, ImportCB and ImportEmbeddedGR against the recording library: the option-set
// conversation and the refusals, what the import job, the status record and the input are
// given, and the picture handed back or discarded.
#include <gtest/gtest.h>

#include <cstring>

#include "module_sandbox.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr char kXpm[] =
    "/* XPM */\nstatic char *x[] = {\n\"2 2 2 1\",\n\"a c #ff0000\",\n\"b c "
    "none\",\n\"ab\",\n\"ba\"\n};\n";
// A minimal enhanced metafile (header and end-of-file records) and Windows metafile.
const uint32_t kEmf[] = {1, 88, 0, 0, 9,    9,   0,   0,   100, 100, 0x464D4520, 0x10000, 108, 2,
                         1, 0,  0, 0, 1024, 768, 320, 240, 14,  20,  0,          16,      20};
const uint16_t kWmf[] = {1, 9, 0x0300, 12, 0, 0, 3, 0, 0, 3, 0, 0};
int32_t ReadOne(uint64_t, void*, int32_t) {
    return 0;
}
int32_t ReadTwo(uint64_t data, void*, int32_t) {
    return data == 1 ? 1 : 0;
}

enum Entry { kGR, kCB, kEmbedded };
const char* const kNames[] = {"ImportGR", "ImportCB", "ImportEmbeddedGR"};

struct Entries : testing::Test {
    Entries() {
        box.Clean();
        library.input = kXpm;
        std::strcpy(source.path, "picture.xpm");
    }
    int64_t Run(Entry entry, OptionSetHandle set, const SourceSpec* from, PictureResult* to,
                VrReadRoutine routine = nullptr, const char* outputSpec = nullptr) {
        if (entry == kEmbedded) return ImportEmbeddedGR(&hostValue, from, to, set, 0, outputSpec);
        return entry == kGR ? ImportGR(&hostValue, from, to, set)
                            : ImportCB(&hostValue, from, to, set, 77, routine);
    }
    // A host option set whose stored block carries a colour mode, host bytes and `routine`.
    OptionSetHandle HostSet(VrReadRoutine routine = nullptr) {
        OptionSetHandle set = library.Table().OptionSetCreate(0, 0, 0, 0);
        stored = SavedOptions{reinterpret_cast<uint64_t>(routine), 0, {9, 8, 7}, 2, {6}};
        (void)library.Table().OptionSetEscape(set, 42, 56, &stored, nullptr, 0);
        library.calls.clear();
        return set;
    }
    ModuleSandbox& box = ModuleSandbox::Get();
    RecordingLibrary library;
    SourceSpec source{};
    PictureResult result{};
    SavedOptions stored{};
    int hostValue = 0;
};

TEST_F(Entries, TheOptionSetConversationAndTheRefusals) {
    enum Trouble { kNone, kQuery4, kNoSet, kNoDriver, kNoSource, kNoResult };
    // The conversation: option-set creation, escapes as code/size, and the job.
    struct Case {
        Entry entry;
        bool hostSet;
        Trouble trouble;
        int64_t want;
        const char* wantConversation;
    };
    const char* own = "OptionSetCreate 3/2 4/2 43/56 26/4 ImportJobBegin 42/56 ImportJobEnd ";
    const char* host = "4/2 43/56 26/4 ImportJobBegin 42/56 ImportJobEnd ";
    const Case cases[] = {
        {kGR, false, kNone, 0, own},
        {kCB, true, kNone, 0, host},
        {kEmbedded, true, kNone, 0, host},
        {kEmbedded, false, kNone, 5315, ""},
        {kGR, false, kQuery4, 5355, "OptionSetCreate 3/2 4/2 "},
        {kCB, true, kQuery4, 5355, "4/2 "},
        {kEmbedded, true, kQuery4, 5355, "4/2 "},
        {kCB, false, kNoSet, 5315, "OptionSetCreate "},
        {kGR, false, kNoDriver, 5315, "OptionSetCreate 3/2 4/2 "},
        {kEmbedded, true, kNoDriver, 5315, "4/2 "},
        {kGR, true, kNoSource, 5315, ""},
        {kCB, false, kNoResult, 5315, ""},
        {kEmbedded, true, kNoSource, 5315, ""},
        {kEmbedded, true, kNoResult, 5315, ""},
    };
    for (const Case& c : cases) {
        const std::string what = kNames[c.entry] +
                                 std::string(c.hostSet ? " host set" : " no set") + " trouble " +
                                 std::to_string(c.trouble);
        box.Clean();
        if (c.trouble == kNoDriver)
            box.Write("{windows}/libxfprobe.INI", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n");
        library.query4Answer = c.trouble == kQuery4;
        library.failOptionSetCreate = c.trouble == kNoSet;
        OptionSetHandle host = c.hostSet ? HostSet() : nullptr;
        EXPECT_EQ(Run(c.entry, host, c.trouble == kNoSource ? nullptr : &source,
                      c.trouble == kNoResult ? nullptr : &result),
                  c.want)
            << what;
        std::string conversation;
        for (const Call& call : library.calls) {
            if (call.op == "OptionSetEscape")
                conversation +=
                    std::to_string(call.args[1]) + "/" + std::to_string(call.args[2]) + " ";
            if (call.op == "OptionSetCreate" || call.op.rfind("ImportJob", 0) == 0)
                conversation += call.op + " ";
        }
        EXPECT_EQ(conversation, c.wantConversation) << what;
        // A set made for the call and not freed, or the host's freed, shows as a leak.
        library.calls.clear();
        if (host != nullptr) GlobalFree(host);
    }
}

TEST_F(Entries, TheJobTheStatusRecordAndTheInputCarryWhatTheHostGave) {
    struct Case {
        Entry entry;
        const char *path, *outputSpec;  // outputSpec: ImportEmbeddedGR's last argument
        VrReadRoutine loaded, routine;  // in the host's stored options; ImportCB's own
        const char* input;
        int64_t want;
        char wantSource;  // 'f' file, 'm' memory, 'r' ImportCB's routine, 'l' the loaded one
    };
    const char* bad = "not an image\n";
    const Case cases[] = {
        {kGR, "picture.xpm", nullptr, nullptr, nullptr, kXpm, 0, 'f'},
        {kGR, "", nullptr, nullptr, nullptr, kXpm, 0, 'm'},
        {kCB, "dir/b.xpm", nullptr, nullptr, nullptr, kXpm, 0, 'f'},
        {kCB, "dir/b.xpm", nullptr, &ReadTwo, &ReadOne, kXpm, 0,
         'r'},  // replaces the loaded routine
        {kEmbedded, "picture.xpm", "WMF", nullptr, nullptr, kXpm, 0, 'f'},
        {kEmbedded, "", nullptr, nullptr, nullptr, kXpm, 0, 'f'},  // never from memory
        {kEmbedded, "picture.xpm", "", &ReadTwo, nullptr, kXpm, 0, 'l'},
        {kGR, "", nullptr, nullptr, nullptr, bad, 0xFFE9, 'm'},  // -23 widened without sign
        {kEmbedded, "bad.xpm", nullptr, nullptr, nullptr, bad, -23, 'f'},
    };
    for (const Case& c : cases) {
        const std::string what =
            std::string(kNames[c.entry]) + " path [" + c.path + "] source " + c.wantSource;
        HGLOBAL memory = source.memory = GlobalAlloc(GHND, 64);
        library.input = c.input;
        std::strcpy(source.path, c.path);
        OptionSetHandle host = HostSet(c.loaded);
        StatusSink seen{};
        library.fillSink = [&](StatusSink& sink) { seen = sink; };
        EXPECT_EQ(Run(c.entry, host, &source, &result, c.routine, c.outputSpec), c.want) << what;
        EXPECT_EQ(library.Find("ImportJobBegin")[0]->texts,
                  (std::vector<std::string>{"XPM Import", c.path}))
            << what;
        EXPECT_EQ(library.Find("ImportJobBegin")[0]->args,
                  (std::vector<int64_t>{int64_t(GetActiveWindow()), 0, 0x08000005, 0}))
            << what;
        ASSERT_FALSE(library.Find("Status").empty()) << what;
        for (const Call* status : library.Find("Status"))
            EXPECT_EQ(status->args[0], library.Find("ImportJobEnd")[0]->args[0])
                << what << ": status without the job";

        const Call& open = *library.Find("StreamOpen")[0];
        EXPECT_EQ(open.texts[0], c.wantSource == 'm' ? "<null>" : c.path) << what;
        const VrReadRoutine routine = c.wantSource == 'r'   ? c.routine
                                      : c.wantSource == 'l' ? c.loaded
                                                            : nullptr;
        const std::vector<int64_t> wantSource =
            c.wantSource == 'f' ? std::vector<int64_t>{}
            : c.wantSource == 'm'
                ? std::vector<int64_t>{open.args.at(2), 64, 0}
                : std::vector<int64_t>{c.wantSource == 'r' ? 77 : 0, 0, int64_t(routine)};
        EXPECT_EQ(std::vector<int64_t>(open.args.begin() + 2, open.args.end()), wantSource)
            << what << ": source";
        // The options go back to the host's set as they were loaded, with the call's routine.
        SavedOptions back = stored;
        back.ioRoutine = reinterpret_cast<uint64_t>(routine);
        EXPECT_EQ(library.Find("OptionSetEscape").back()->data,
                  std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&back),
                                       reinterpret_cast<uint8_t*>(&back + 1)))
            << what;
        if (c.want == 0) {
            EXPECT_EQ(seen.hostValue, reinterpret_cast<uint64_t>(&hostValue)) << what;
            EXPECT_EQ(library.Find("OutputOpen")[0]->texts,
                      (std::vector<std::string>{c.outputSpec ? c.outputSpec : "", ""}))
                << what;
            EXPECT_EQ(library.Find("OutputOpen")[0]->args[1], int64_t(host))
                << what << ": option set";
        }
        // The library left no picture: the status record still holds the input's handle.
        EXPECT_EQ(result.picture, c.want == 0 && c.wantSource == 'm' ? memory : nullptr) << what;
        GlobalFree(memory);
        GlobalFree(host);
        library.calls.clear();
    }
}

TEST_F(Entries, ThePictureIsHandedBackOrDiscarded) {
    struct Case {
        Entry entry;
        int32_t bounds[4], units;
        bool enhanced;
        int16_t jobEnd;
        int64_t want;
        int32_t wantUnits;
    };
    const Case cases[] = {
        {kCB, {0, 0, 300, 200}, 0, true, 0, 0, 60},
        {kEmbedded, {0, 0, 300, 200}, 0, true, 0, 0, 1440},
        {kGR, {300, 200, 0, 0}, 0, true, 0, 0, 60},
        {kGR, {-10, 0, 10, 600}, 0, true, 0, 0, 120},
        {kGR, {0, 0, 4, 4}, 0, true, 0, 0, 0},
        {kGR, {0, 0, 300, 200}, 96, true, 0, 0, 96},
        {kEmbedded, {0, 0, 300, 200}, 96, true, 0, 0, 96},
        // A failed import: the picture is deleted as what it is.
        {kGR, {0, 0, 300, 200}, 0, true, 7, 7, 60},
        {kGR, {0, 0, 300, 200}, 0, false, 7, 7, 60},
        {kCB, {0, 0, 300, 200}, 0, false, -1, 65535, 60},
        {kEmbedded, {0, 0, 300, 200}, 0, true, -1, -1, 1440},
        {kEmbedded, {0, 0, 300, 200}, 0, false, 7, 7, 1440},
    };
    for (const Case& c : cases) {
        const std::string what = kNames[c.entry] + std::string(c.enhanced ? " EMF " : " WMF ") +
                                 std::to_string(c.jobEnd);
        void* left = nullptr;
        library.fillSink = [&](StatusSink& sink) {
            left = c.enhanced
                       ? SetEnhMetaFileBits(sizeof kEmf, reinterpret_cast<const uint8_t*>(kEmf))
                       : SetMetaFileBitsEx(sizeof kWmf, reinterpret_cast<const uint8_t*>(kWmf));
            sink.dataHandle = reinterpret_cast<uint64_t>(left);
            std::memcpy(sink.bounds, c.bounds, sizeof sink.bounds);
            sink.unitsPerInch = c.units;
        };
        library.jobEndResult = [&] { return c.jobEnd; };
        OptionSetHandle host = HostSet();
        EXPECT_EQ(Run(c.entry, host, &source, &result), c.want) << what;
        EXPECT_EQ(result.unitsPerInch, c.wantUnits) << what;
        EXPECT_EQ(std::vector<int32_t>(result.bounds, result.bounds + 4),
                  std::vector<int32_t>(c.bounds, c.bounds + 4))
            << what;
        // A picture not deleted, or deleted as the wrong kind, shows as a leak.
        EXPECT_EQ(result.picture, c.jobEnd == 0 ? left : nullptr) << what;
        if (result.picture != nullptr) DeleteEnhMetaFile(result.picture);
        GlobalFree(host);
    }
}

}  // namespace
}  // namespace xpmtest
