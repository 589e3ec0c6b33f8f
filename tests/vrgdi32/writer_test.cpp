// The picture writer end to end: pictures driven as the filter drives them come out as
// EMF or WMF whose decoded pixels equal what was sent, row 0 at the top; incomplete,
// aborted or stopped pictures give no metafile; failures set the documented codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "metafile_reader.h"
#include "picture_driver.h"
#include "vrgdi32/vrgdi32.h"

namespace {

using vrgdi32_test::BandRows;
using vrgdi32_test::DeleteMetafile;
using vrgdi32_test::DriveLikeFilter;
using vrgdi32_test::DriveOptions;
using vrgdi32_test::DriveResult;
using vrgdi32_test::MetafileBytes;
using vrgdi32_test::ReadMetafile;
using vrgdi32_test::TestImage;

constexpr int16_t kInvalidCall = 320;

struct ImageCase {
    int32_t width, height, colours;
};

const ImageCase kImages[] = {
    {1, 1, 1},      {5, 3, 4},       {100, 1000, 17}, {3, 7, 300},
    {32768, 2, 2},  {1, 40000, 2},   {10, 0, 2},      {333, 200, 256},
};

std::string Describe(const ImageCase& c) {
    return std::to_string(c.width) + "x" + std::to_string(c.height) + " with " + std::to_string(c.colours) +
           " colours";
}

// Checks that the decoded canvas shows exactly the image, upright.
void ExpectSamePixels(const ReadMetafile& read, const TestImage& image, const std::string& what) {
    ASSERT_EQ(read.width, image.width) << what;
    ASSERT_EQ(read.height, image.height) << what;
    int mismatches = 0;
    for (int32_t y = 0; y < image.height && mismatches < 5; ++y) {
        for (int32_t x = 0; x < image.width && mismatches < 5; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * image.width + x;
            const auto want = image.ColourAt(x, y);
            const auto got = read.pixels[at];
            if (!read.painted[at] || !(got == want)) {
                ++mismatches;
                ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") got " << int(got.red) << ","
                              << int(got.green) << "," << int(got.blue) << (read.painted[at] ? "" : " (unpainted)")
                              << ", want " << int(want.red) << "," << int(want.green) << "," << int(want.blue);
            }
        }
    }
}

void ExpectBandsPlacedTopDown(const ReadMetafile& read, const ImageCase& c, uint32_t wantColours,
                              const std::string& what) {
    const std::vector<int32_t> rows = BandRows(c.width, c.height);
    ASSERT_EQ(read.bitmaps.size(), rows.size()) << what << ": one stretch-DIB record per band";
    int32_t y = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(read.bitmaps[i].x, 0) << what << " band " << i;
        EXPECT_EQ(read.bitmaps[i].y, y) << what << " band " << i;
        EXPECT_EQ(read.bitmaps[i].height, rows[i]) << what << " band " << i;
        EXPECT_EQ(read.bitmaps[i].colourCount, wantColours) << what << " band " << i;
        y += rows[i];
    }
}

TEST(WriterTest, EnhancedMetafileShowsThePixelsSent) {
    for (const ImageCase& c : kImages) {
        const std::string what = Describe(c);
        const TestImage image = TestImage::Make(c.width, c.height, c.colours);
        WriterHandle writer = WriterCreate(0);
        ASSERT_NE(writer, nullptr);
        const DriveResult result = DriveLikeFilter(writer, image, DriveOptions{});
        WriterDestroy(writer);
        EXPECT_EQ(result.openResult, 0) << what;
        EXPECT_FALSE(result.errorAfterFinish) << what << ": error " << result.errorCode;
        EXPECT_EQ(result.closeResult, 0) << what;
        ASSERT_NE(result.sink.dataHandle, 0u) << what;
        EXPECT_EQ(GetObjectType(reinterpret_cast<void*>(result.sink.dataHandle)), OBJ_ENHMETAFILE) << what;
        EXPECT_EQ(result.sink.bounds[0], 0);
        EXPECT_EQ(result.sink.bounds[1], 0);
        EXPECT_EQ(result.sink.bounds[2], c.width) << what;
        EXPECT_EQ(result.sink.bounds[3], c.height) << what;
        EXPECT_EQ(result.sink.unitsPerInch, 96) << what;

        const std::vector<uint8_t> bytes = MetafileBytes(result.sink.dataHandle);
        EXPECT_TRUE(DeleteMetafile(result.sink.dataHandle));
        const ReadMetafile read = vrgdi32_test::ReadEnhancedMetafile(bytes);
        ASSERT_EQ(read.error, "") << what;
        EXPECT_EQ(read.bounds[0], 0);
        EXPECT_EQ(read.bounds[1], 0);
        EXPECT_EQ(read.bounds[2], c.width - 1) << what;
        EXPECT_EQ(read.bounds[3], c.height - 1) << what;
        // One pixel is 25.4 / 96 mm: the frame in 0.01 mm, inclusive like the bounds.
        EXPECT_EQ(read.frame[2], std::lround(c.width * 2540.0 / 96.0) - 1) << what;
        EXPECT_EQ(read.frame[3], std::lround(c.height * 2540.0 / 96.0) - 1) << what;
        EXPECT_EQ(read.declaredBytes, bytes.size()) << what;
        EXPECT_EQ(read.declaredRecords, read.records) << what;
        EXPECT_TRUE(read.endSeen) << what;
        ExpectBandsPlacedTopDown(read, c, static_cast<uint32_t>(c.colours < 256 ? c.colours : 256), what);
        for (const auto& drawn : read.bitmaps) EXPECT_GT(drawn.dibHeight, 0) << what << ": bottom-up DIBs";
        ExpectSamePixels(read, image, what);
    }
}

struct FakeHooks {
    static VrHostHooks Make(uint32_t kind) {
        VrHostHooks hooks{};
        hooks.size = sizeof hooks;
        hooks.metafileKind = kind;
        return hooks;
    }
};

TEST(WriterTest, WindowsMetafileWhenTheHostAsks) {
    VrHostHooks wantsWmf = FakeHooks::Make(kVrMetafileWmf);
    VrHostHooks wantsEmf = FakeHooks::Make(kVrMetafileEmf);
    VrHostHooks wrongSize = FakeHooks::Make(kVrMetafileWmf);
    wrongSize.size = 8;
    struct Case {
        const char* name;
        const char* outputSpec;
        const VrHostHooks* hooks;
        DWORD wantType;
    };
    const Case cases[] = {
        {"outputSpec WMF", "WMF", nullptr, OBJ_METAFILE},
        {"outputSpec wmf", "wmf", nullptr, OBJ_METAFILE},
        {"hooks ask WMF", "", &wantsWmf, OBJ_METAFILE},
        {"hooks ask EMF", "", &wantsEmf, OBJ_ENHMETAFILE},
        {"hooks of the wrong size", "", &wrongSize, OBJ_ENHMETAFILE},
        {"outputSpec EMF beats hooks", "EMF", &wantsWmf, OBJ_ENHMETAFILE},
        {"host value that is no address", "", reinterpret_cast<const VrHostHooks*>(uintptr_t{0x18}),
         OBJ_ENHMETAFILE},
    };
    const ImageCase c{100, 1000, 17};
    const TestImage image = TestImage::Make(c.width, c.height, c.colours);
    for (const Case& k : cases) {
        WriterHandle writer = WriterCreate(0);
        DriveOptions options;
        options.outputSpec = k.outputSpec;
        options.hostValue = reinterpret_cast<uint64_t>(k.hooks);
        const DriveResult result = DriveLikeFilter(writer, image, options);
        WriterDestroy(writer);
        ASSERT_NE(result.sink.dataHandle, 0u) << k.name;
        const DWORD type = GetObjectType(reinterpret_cast<void*>(result.sink.dataHandle));
        EXPECT_EQ(type, k.wantType) << k.name;
        const std::vector<uint8_t> bytes = MetafileBytes(result.sink.dataHandle);
        EXPECT_TRUE(DeleteMetafile(result.sink.dataHandle));
        if (type != OBJ_METAFILE) continue;
        const ReadMetafile read = vrgdi32_test::ReadWindowsMetafile(bytes);
        ASSERT_EQ(read.error, "") << k.name;
        EXPECT_EQ(read.declaredBytes, bytes.size()) << k.name;
        EXPECT_TRUE(read.endSeen) << k.name;
        EXPECT_EQ(read.bounds[2], c.width) << k.name;
        EXPECT_EQ(read.bounds[3], c.height) << k.name;
        ExpectBandsPlacedTopDown(read, c, 17, k.name);
        ExpectSamePixels(read, image, k.name);
    }
}

TEST(WriterTest, NoMetafileUnlessThePictureIsComplete) {
    const TestImage image = TestImage::Make(100, 1000, 5);  // four bands
    struct Case {
        const char* name;
        int32_t bandsBeforeStop;
        bool abort;
        bool wantError;
        int16_t wantCode;
    };
    const Case cases[] = {
        {"no band, no bitmap end", 0, false, false, 0},
        {"two bands, no bitmap end", 2, false, false, 0},
        {"aborted after a failed check", 1, true, false, 0},
    };
    for (const Case& k : cases) {
        WriterHandle writer = WriterCreate(0);
        DriveOptions options;
        options.bandsBeforeStop = k.bandsBeforeStop;
        options.abortAfterBands = k.abort;
        const DriveResult result = DriveLikeFilter(writer, image, options);
        WriterDestroy(writer);
        EXPECT_EQ(result.sink.dataHandle, 0u) << k.name;
        EXPECT_EQ(result.errorAfterFinish, k.wantError) << k.name << ": error " << result.errorCode;
        EXPECT_EQ(result.closeResult, 0) << k.name;
    }
}

TEST(WriterTest, StoppedJobGivesStopCodeAndNoMetafile) {
    struct Host {
        static int32_t Stop(void*) { return 1; }
    };
    VrHostHooks hooks{};
    hooks.size = sizeof hooks;
    hooks.shouldStop = &Host::Stop;
    const TestImage image = TestImage::Make(10, 10, 2);
    for (bool stopBeforeFinish : {false, true}) {
        const ImportJobHandle job = ImportJobBegin(nullptr, "XPM Import", "in.xpm", 0, 1, 0);
        WriterHandle writer = WriterCreate(0);
        DriveOptions options;
        options.job = job;
        options.hostValue = reinterpret_cast<uint64_t>(&hooks);
        if (stopBeforeFinish) {
            // The host's stop lands at the last progress check, before the output finishes:
            // drive by hand up to the finish.
            StatusSink sink{};
            sink.userData = job;
            sink.hostValue = options.hostValue;
            ASSERT_EQ(OutputOpen(writer, "", "", 0, nullptr, &sink), 0);
            EXPECT_EQ(DefaultStatusProc(job, 0, 0, 100, 0, 0, nullptr), 1);
            EXPECT_EQ(DefaultStatusProc(job, 2, 61, 0, 0, 0, nullptr), 1);
            OutputFinish(writer);
            uint32_t flag = 0;
            int16_t pair[2] = {0, 0};
            WriterGetError(writer, 1, &flag, pair);
            EXPECT_NE(flag, 0u);
            EXPECT_EQ(pair[0], 901);
            EXPECT_EQ(sink.dataHandle, 0u);
            EXPECT_EQ(OutputClose(writer), 0);
        } else {
            // No stop notice answered: the picture is made.
            const DriveResult result = DriveLikeFilter(writer, image, options);
            EXPECT_FALSE(result.errorAfterFinish);
            EXPECT_NE(result.sink.dataHandle, 0u);
            DeleteMetafile(result.sink.dataHandle);
        }
        WriterDestroy(writer);
        EXPECT_EQ(ImportJobEnd(job), stopBeforeFinish ? 61 : 0);
    }
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WriterTest, NamedOutputFile) {
    char dir[] = "/tmp/vrgdi32_out_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/picture.emf";
    const TestImage image = TestImage::Make(20, 30, 3);
    {
        WriterHandle writer = WriterCreate(0);
        DriveOptions options;
        options.outputName = path;
        const DriveResult result = DriveLikeFilter(writer, image, options);
        WriterDestroy(writer);
        ASSERT_NE(result.sink.dataHandle, 0u);
        EXPECT_TRUE(FileBytes(path) == MetafileBytes(result.sink.dataHandle)) << "file and handle hold the same bytes";
        DeleteMetafile(result.sink.dataHandle);
    }
    {
        // A failed picture leaves no file behind.
        WriterHandle writer = WriterCreate(0);
        DriveOptions options;
        options.outputName = path;
        options.bandsBeforeStop = 0;
        const DriveResult result = DriveLikeFilter(writer, image, options);
        WriterDestroy(writer);
        EXPECT_EQ(result.sink.dataHandle, 0u);
        EXPECT_NE(access(path.c_str(), F_OK), 0) << path << " should be removed";
    }
    {
        WriterHandle writer = WriterCreate(0);
        DriveOptions options;
        options.outputName = std::string(dir) + "/missing/picture.emf";
        const DriveResult result = DriveLikeFilter(writer, image, options);
        WriterDestroy(writer);
        EXPECT_EQ(result.openResult, 301) << "output in a missing directory";
        EXPECT_EQ(result.sink.dataHandle, 0u);
    }
    rmdir(dir);
    if (access("/dev/full", W_OK) == 0) {
        WriterHandle writer = WriterCreate(0);
        DriveOptions options;
        options.outputName = "/dev/full";
        const DriveResult result = DriveLikeFilter(writer, image, options);
        WriterDestroy(writer);
        EXPECT_TRUE(result.errorAfterFinish);
        EXPECT_EQ(result.errorCode, 302) << "writing to a full disk";
        EXPECT_EQ(result.errorDetail, 269);
        EXPECT_EQ(result.sink.dataHandle, 0u);
        struct stat info {};
        EXPECT_EQ(stat("/dev/full", &info), 0) << "a device is never removed";
    }
}

TEST(WriterTest, AllocationFailureGivesMemoryErrorAndNoLeak) {
    const TestImage image = TestImage::Make(100, 1000, 17);
    int failures = 0;
    for (int64_t n = 0; n < 200; ++n) {
        WriterHandle writer = WriterCreate(0);
        ASSERT_NE(writer, nullptr);
        WinshimFailAllocationAfter(n);
        const DriveResult result = DriveLikeFilter(writer, image, DriveOptions{});
        WinshimFailAllocationAfter(-1);
        WriterDestroy(writer);
        if (result.sink.dataHandle != 0) {
            EXPECT_FALSE(result.errorAfterFinish) << "allocation " << n;
            DeleteMetafile(result.sink.dataHandle);
            break;
        }
        ++failures;
        // The band's failure is found by the filter's checks on the way; the one at the
        // finish is still pending.
        EXPECT_TRUE(result.errorAfterFinish) << "allocation " << n << " failed silently";
        EXPECT_EQ(result.errorCode, 300) << "allocation " << n;
    }
    EXPECT_GT(failures, 4) << "the injected failures never reached the writer";
}

// Sets the writer up to the point where bands may be written (100 x 10, one colour).
WriterHandle WriterReadyForBands(StatusSink& sink) {
    WriterHandle writer = WriterCreate(0);
    EXPECT_EQ(OutputOpen(writer, "", "", 0, nullptr, &sink), 0);
    OutputStart(writer, "");
    PictureBegin(writer, "PICTURE 1");
    PaletteEntry colour{255, 0, 0};
    SetPalette(writer, 0, 1, &colour);
    return writer;
}

BandPlacement Place(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
    BandPlacement p{};
    p.p1x.value = x1;
    p.p1y.value = y1;
    p.p2x.value = x2;
    p.p2y.value = y2;
    p.p3x.value = x2;
    p.p3y.value = y1;
    return p;
}

TEST(WriterTest, CallsThatDoNotFitAreRefused) {
    static uint8_t rows[104 * 20] = {};
    struct Case {
        const char* name;
        void (*act)(WriterHandle);
        int16_t wantCode;
    };
    const Case cases[] = {
        {"band before the bitmap",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapWriteBand(w, &p, &s, -8, 1, rows);
         },
         kInvalidCall},
        {"band wider than the bitmap",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
             BandPlacement b = Place(0, 10, 101, 5);
             BitmapSize bs{101, {}, 5, {}};
             BitmapWriteBand(w, &b, &bs, -8, 1, rows);
         },
         kInvalidCall},
        {"more rows than declared",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
             BandPlacement b = Place(0, 10, 100, -2);
             BitmapSize bs{100, {}, 12, {}};
             BitmapWriteBand(w, &b, &bs, -8, 1, rows);
         },
         kInvalidCall},
        {"band below the bitmap",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
             BandPlacement b = Place(0, 2, 100, -3);
             BitmapSize bs{100, {}, 5, {}};
             BitmapWriteBand(w, &b, &bs, -8, 1, rows);
         },
         kInvalidCall},
        {"placement that disagrees with the rows",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
             BandPlacement b = Place(0, 10, 100, 0);
             BitmapSize bs{100, {}, 5, {}};
             BitmapWriteBand(w, &b, &bs, -8, 1, rows);
         },
         kInvalidCall},
        {"band without rows",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
             BandPlacement b = Place(0, 10, 100, 5);
             BitmapSize bs{100, {}, 5, {}};
             BitmapWriteBand(w, &b, &bs, -8, 1, nullptr);
         },
         kInvalidCall},
        {"pixel format other than 8-bit indices",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapBegin(w, &p, &s, -4, 0, 1, 3, 0);
         },
         kInvalidCall},
        {"second bitmap",
         [](WriterHandle w) {
             BandPlacement p = Place(0, 10, 100, 0);
             BitmapSize s{100, {}, 10, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
         },
         kInvalidCall},
        {"bitmap of 65535 x 65535 pixels",
         [](WriterHandle w) {
             BandPlacement p = Place(0, -1, -1, 0);
             BitmapSize s{-1, {}, -1, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
         },
         300},
        {"unknown unit kind", [](WriterHandle w) { SetUnits(w, 2, 0.25); }, kInvalidCall},
        {"unit size of zero", [](WriterHandle w) { SetUnits(w, 1, 0.0); }, kInvalidCall},
        {"palette without entries", [](WriterHandle w) { SetPalette(w, 0, 3, nullptr); }, kInvalidCall},
        {"bitmap end without bitmap", [](WriterHandle w) { BitmapEnd(w); }, kInvalidCall},
        {"second picture", [](WriterHandle w) { PictureBegin(w, "PICTURE 2"); }, kInvalidCall},
        {"finish twice",
         [](WriterHandle w) {
             OutputFinish(w);
             OutputFinish(w);
         },
         kInvalidCall},
    };
    for (const Case& k : cases) {
        StatusSink sink{};
        WriterHandle writer = WriterReadyForBands(sink);
        k.act(writer);
        uint32_t flag = 0;
        int16_t pair[2] = {0, 0};
        WriterGetError(writer, 1, &flag, pair);
        EXPECT_NE(flag, 0u) << k.name;
        EXPECT_EQ(pair[0], k.wantCode) << k.name;
        WriterGetError(writer, 1, &flag, pair);
        EXPECT_EQ(flag, 0u) << k.name << ": reading the error clears it";
        // Whatever happens next, the failed picture does not become a metafile.
        BitmapEnd(writer);
        PictureEnd(writer);
        OutputFinish(writer);
        EXPECT_EQ(sink.dataHandle, 0u) << k.name;
        OutputClose(writer);
        WriterDestroy(writer);
    }
}

TEST(WriterTest, WindowsMetafileRefusesPicturesBeyondItsCoordinates) {
    const TestImage image = TestImage::Make(1, 40000, 2);
    WriterHandle writer = WriterCreate(0);
    DriveOptions options;
    options.outputSpec = "WMF";
    const DriveResult result = DriveLikeFilter(writer, image, options);
    WriterDestroy(writer);
    EXPECT_TRUE(result.errorAfterFinish);
    EXPECT_EQ(result.errorCode, kInvalidCall);
    EXPECT_EQ(result.sink.dataHandle, 0u);
}

TEST(WriterTest, UnknownWritersAreRefused) {
    WriterHandle writer = WriterCreate(0);
    WriterDestroy(writer);
    const WriterHandle invented = reinterpret_cast<WriterHandle>(uintptr_t{0xdead0});
    for (WriterHandle handle : {writer, invented, static_cast<WriterHandle>(nullptr)}) {
        uint32_t flag = 0;
        int16_t pair[2] = {0, 0};
        WriterGetError(handle, 1, &flag, pair);
        EXPECT_NE(flag, 0u);
        EXPECT_EQ(pair[0], kInvalidCall);
        StatusSink sink{};
        EXPECT_EQ(OutputOpen(handle, "", "", 0, nullptr, &sink), kInvalidCall);
        EXPECT_EQ(OutputClose(handle), kInvalidCall);
        PictureBegin(handle, "x");
        BitmapEnd(handle);
        WriterAbort(handle);
        WriterDestroy(handle);
    }
    WriterHandle fresh = WriterCreate(0);
    EXPECT_EQ(OutputClose(fresh), kInvalidCall) << "close without open";
    WriterDestroy(fresh);
}

// The full path of an executable found through PATH, or empty.
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

TEST(WriterTest, ThirdPartyPlayerReadsTheMetafile) {
    const std::string converter = FindOnPath("emf2svg-conv");
    if (converter.empty()) GTEST_SKIP() << "emf2svg-conv is not installed";
    const TestImage image = TestImage::Make(100, 1000, 17);
    WriterHandle writer = WriterCreate(0);
    const DriveResult result = DriveLikeFilter(writer, image, DriveOptions{});
    WriterDestroy(writer);
    ASSERT_NE(result.sink.dataHandle, 0u);
    const std::vector<uint8_t> bytes = MetafileBytes(result.sink.dataHandle);
    DeleteMetafile(result.sink.dataHandle);
    char dir[] = "/tmp/vrgdi32_svg_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string emf = std::string(dir) + "/in.emf";
    const std::string svg = std::string(dir) + "/out.svg";
    {
        std::ofstream out(emf, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string command = converter + " -i " + emf + " -o " + svg + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<uint8_t> text = FileBytes(svg);
    const std::string content(text.begin(), text.end());
    unlink(emf.c_str());
    unlink(svg.c_str());
    rmdir(dir);
    // Four bands, each drawn as an image 100 wide; together 1000 rows.
    std::size_t images = 0;
    for (std::size_t at = content.find("<image"); at != std::string::npos; at = content.find("<image", at + 1)) {
        ++images;
        EXPECT_NE(content.find("width=\"100.0000\"", at), std::string::npos);
    }
    EXPECT_EQ(images, 4u) << content.substr(0, 400);
    EXPECT_NE(content.find("height=\"327.0000\""), std::string::npos);
    EXPECT_NE(content.find("height=\"19.0000\""), std::string::npos);
}

}  // namespace
