// ImportGR, ImportCB and ImportEmbeddedGR against the recording library: the option-set
// conversation and the refusals, what the import job, the status record and the input are
// given, and the picture handed back or discarded.
#include <gtest/gtest.h>

#include <cstring>

#include "module_sandbox.h"
#include "recording_library.h"
#include "xpm_text.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

const std::string kXpm = XpmFile({"2 2 2 1", "a c #ff0000", "b c none", "ab", "ba"});
// A minimal enhanced metafile (header and end-of-file records) and Windows metafile.
const uint32_t kEmf[] = {1, 88, 0, 0, 9,    9,   0,   0,   100, 100, 0x464D4520, 0x10000, 108, 2,
                         1, 0,  0, 0, 1024, 768, 320, 240, 14,  20,  0,          16,      20};
const uint16_t kWmf[] = {1, 9, 0x0300, 12, 0, 0, 3, 0, 0, 3, 0, 0};
// Two read routines, told apart by their addresses only: the recording library reads `input`.
const VrReadRoutine ReadOne = [](uint64_t, void*, int32_t) { return 0; };
const VrReadRoutine ReadTwo = [](uint64_t, void*, int32_t) { return 1; };

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
    enum Trouble { kNone, kRefused, kNoSet, kNoDriver, kNoSource, kNoResult };
    struct Case {
        const char* name;
        Entry entry;
        bool hostSet = false;
        Trouble trouble = kNone;
        int64_t want = 5315;
        const char* talk = "";  // option-set creation, escapes as code/size, and the job
    };
    const char* own = "OptionSetCreate 3/2 4/2 43/56 26/4 ImportJobBegin 42/56 ImportJobEnd ";
    const char* host = "4/2 43/56 26/4 ImportJobBegin 42/56 ImportJobEnd ";
    // clang-format off
    const Case cases[] = {
        {.name = "a set made for the call", .entry = kGR, .want = 0, .talk = own},
        {.name = "the host's set", .entry = kCB, .hostSet = true, .want = 0, .talk = host},
        {.name = "embedded without a set", .entry = kEmbedded},
        {.name = "refused by query 4", .entry = kGR, .trouble = kRefused, .want = 5355,
         .talk = "OptionSetCreate 3/2 4/2 "},
        {.name = "no set can be made", .entry = kCB, .trouble = kNoSet, .talk = "OptionSetCreate "},
        {.name = "no record: the profile has no driver", .entry = kGR, .trouble = kNoDriver,
         .talk = "OptionSetCreate 3/2 4/2 "},
        {.name = "no source", .entry = kGR, .hostSet = true, .trouble = kNoSource},
        {.name = "no result", .entry = kCB, .trouble = kNoResult},
        {.name = "no source, embedded", .entry = kEmbedded, .hostSet = true, .trouble = kNoSource},
        {.name = "no result, embedded", .entry = kEmbedded, .hostSet = true, .trouble = kNoResult},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string name = kNames[c.entry] + (": " + std::string(c.name));
        box.Clean();
        if (c.trouble == kNoDriver)
            box.Write("{windows}/libxfprobe.INI", "[rondo]\n~Mode=M\n[M]\nColor Mode=2\n");
        library.query4Answer = c.trouble == kRefused;
        library.failOptionSetCreate = c.trouble == kNoSet;
        OptionSetHandle host = c.hostSet ? HostSet() : nullptr;
        EXPECT_EQ(Run(c.entry, host, c.trouble == kNoSource ? nullptr : &source,
                      c.trouble == kNoResult ? nullptr : &result),
                  c.want)
            << name;
        std::string talk;
        for (const Call& call : library.calls) {
            if (call.op == "OptionSetEscape")
                talk += std::to_string(call.args[1]) + "/" + std::to_string(call.args[2]) + " ";
            if (call.op == "OptionSetCreate" || call.op.starts_with("ImportJob"))
                talk += call.op + " ";
        }
        EXPECT_EQ(talk, c.talk) << name;
        // A set made for the call and not freed, or the host's freed, shows as a leak.
        library.calls.clear();
        if (host != nullptr) GlobalFree(host);
    }
}

TEST_F(Entries, TheJobTheStatusRecordAndTheInputCarryWhatTheHostGave) {
    enum From { kFile, kMemory, kOwnRoutine, kLoadedRoutine };
    struct Case {
        const char* name;
        Entry entry;
        const char* path = "picture.xpm";
        const char* outputSpec = nullptr;  // ImportEmbeddedGR's last argument
        VrReadRoutine loaded = nullptr;    // in the host's stored options
        VrReadRoutine routine = nullptr;   // ImportCB's own
        std::string input = kXpm;
        int64_t want = 0;
        From from = kFile;
    };
    const std::string longest(sizeof(SourceSpec::path) - 1, 'p');
    // clang-format off
    const Case cases[] = {
        {.name = "a file", .entry = kGR},
        {.name = "memory when the path is empty", .entry = kGR, .path = "", .from = kMemory},
        {.name = "a path that fills its field", .entry = kGR, .path = longest.c_str()},
        {.name = "the call's routine replaces the loaded one", .entry = kCB, .path = "dir/b.xpm",
         .loaded = ReadTwo, .routine = ReadOne, .from = kOwnRoutine},
        {.name = "an output format", .entry = kEmbedded, .outputSpec = "WMF"},
        {.name = "never from memory", .entry = kEmbedded, .path = ""},
        {.name = "the loaded routine", .entry = kEmbedded, .outputSpec = "", .loaded = ReadTwo,
         .from = kLoadedRoutine},
        // A failed import from memory: the host's block is neither handed back nor discarded.
        {.name = "-23 widened without sign", .entry = kGR, .path = "", .input = "not an image\n",
         .want = 0xFFE9, .from = kMemory},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string name = kNames[c.entry] + (": " + std::string(c.name));
        HGLOBAL memory = source.memory = GlobalAlloc(GHND, 64);
        library.input = c.input;
        std::strcpy(source.path, c.path);
        OptionSetHandle host = HostSet(c.loaded);
        StatusSink seen{};
        library.fillSink = [&](StatusSink& sink) { seen = sink; };
        EXPECT_EQ(Run(c.entry, host, &source, &result, c.routine, c.outputSpec), c.want) << name;
        const Call& job = *library.Find("ImportJobBegin")[0];
        EXPECT_EQ(job.texts, (std::vector<std::string>{"XPM Import", c.path})) << name;
        EXPECT_EQ(job.args, (std::vector<int64_t>{int64_t(GetActiveWindow()), 0, 0x08000005, 0}))
            << name;
        ASSERT_FALSE(library.Find("Status").empty()) << name;
        for (const Call* status : library.Find("Status"))
            EXPECT_EQ(status->args[0], library.Find("ImportJobEnd")[0]->args[0])
                << name << ": status without the job";
        const Call& open = *library.Find("StreamOpen")[0];
        EXPECT_EQ(open.texts[0], c.from == kMemory ? "<null>" : c.path) << name;
        const VrReadRoutine routine = c.from == kOwnRoutine      ? c.routine
                                      : c.from == kLoadedRoutine ? c.loaded
                                                                 : nullptr;
        const std::vector<int64_t> wantSource =
            c.from == kFile ? std::vector<int64_t>{}
            : c.from == kMemory
                ? std::vector<int64_t>{open.args.at(2), 64, 0}
                : std::vector<int64_t>{c.from == kOwnRoutine ? 77 : 0, 0, int64_t(routine)};
        EXPECT_EQ(std::vector<int64_t>(open.args.begin() + 2, open.args.end()), wantSource)
            << name << ": source";
        // The options go back to the host's set as they were loaded, with the call's routine.
        SavedOptions back = stored;
        back.ioRoutine = reinterpret_cast<uint64_t>(routine);
        EXPECT_EQ(library.Find("OptionSetEscape").back()->data,
                  std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&back),
                                       reinterpret_cast<uint8_t*>(&back + 1)))
            << name << ": the options stored back";
        if (c.want == 0) {
            EXPECT_EQ(seen.hostValue, reinterpret_cast<uint64_t>(&hostValue)) << name;
            const Call& output = *library.Find("OutputOpen")[0];
            EXPECT_EQ(output.texts,
                      (std::vector<std::string>{c.outputSpec ? c.outputSpec : "", ""}))
                << name;
            EXPECT_EQ(output.args[1], int64_t(host)) << name << ": option set";
        }
        // The library left no picture: the status record still holds the input's handle.
        EXPECT_EQ(result.picture, c.want == 0 && c.from == kMemory ? memory : nullptr) << name;
        GlobalFree(memory);
        GlobalFree(host);
        library.calls.clear();
    }
}

TEST_F(Entries, ThePictureIsHandedBackOrDiscarded) {
    struct Case {
        const char* name;
        Entry entry;
        int32_t bounds[4] = {0, 0, 300, 200};
        bool enhanced = true;
        int16_t jobEnd = 0;
        int64_t want = 0;
        int32_t wantUnits = 60;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "5 inches on the longer side", .entry = kCB},
        {.name = "1440 units by default", .entry = kEmbedded, .wantUnits = 1440},
        {.name = "bounds the other way round", .entry = kGR, .bounds = {300, 200, 0, 0}},
        {.name = "the longer side is the height", .entry = kGR, .bounds = {-10, 0, 10, 600},
         .wantUnits = 120},
        // (A picture with its own units keeps them: the module test through xpmimport.)
        // A failed import: the picture is deleted as what it is.
        {.name = "-1 widened without sign", .entry = kCB, .enhanced = false, .jobEnd = -1,
         .want = 65535},
        {.name = "-1 widened with sign", .entry = kEmbedded, .jobEnd = -1, .want = -1,
         .wantUnits = 1440},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string name = kNames[c.entry] + (": " + std::string(c.name));
        void* left = nullptr;
        library.fillSink = [&](StatusSink& sink) {
            left = c.enhanced
                       ? SetEnhMetaFileBits(sizeof kEmf, reinterpret_cast<const uint8_t*>(kEmf))
                       : SetMetaFileBitsEx(sizeof kWmf, reinterpret_cast<const uint8_t*>(kWmf));
            sink.dataHandle = reinterpret_cast<uint64_t>(left);
            std::memcpy(sink.bounds, c.bounds, sizeof sink.bounds);
        };
        library.jobEndResult = [&] { return c.jobEnd; };
        OptionSetHandle host = HostSet();
        EXPECT_EQ(Run(c.entry, host, &source, &result), c.want) << name;
        EXPECT_EQ(result.unitsPerInch, c.wantUnits) << name;
        EXPECT_EQ(std::vector<int32_t>(result.bounds, result.bounds + 4),
                  std::vector<int32_t>(c.bounds, c.bounds + 4))
            << name;
        // A picture not deleted, or deleted as the wrong kind, shows as a leak.
        EXPECT_EQ(result.picture, c.jobEnd == 0 ? left : nullptr) << name;
        if (result.picture != nullptr) DeleteEnhMetaFile(result.picture);
        GlobalFree(host);
    }
}

}  // namespace
}  // namespace xpmtest
