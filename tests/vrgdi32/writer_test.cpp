// The picture writer end to end: pictures driven as the filter drives them come out as
// EMF or WMF whose decoded pixels equal what was sent, row 0 at the top; incomplete,
// aborted or stopped pictures give no metafile; failures set the documented codes.
#include <gtest/gtest.h>

#include <algorithm>
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
using vrgdi32_test::DriveNewWriter;
using vrgdi32_test::DriveOptions;
using vrgdi32_test::DriveResult;
using vrgdi32_test::ReadMetafile;
using vrgdi32_test::TakeMetafileBytes;
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
        const DriveResult result = DriveNewWriter(image);
        EXPECT_EQ(result.openResult, 0) << what;
        EXPECT_FALSE(result.errorAfterFinish) << what << ": error " << result.errorCode;
        EXPECT_EQ(result.closeResult, 0) << what;
        ASSERT_NE(result.sink.dataHandle, 0u) << what;
        EXPECT_EQ(GetObjectType(reinterpret_cast<void*>(result.sink.dataHandle)), OBJ_ENHMETAFILE) << what;
        const int32_t wantBounds[4] = {0, 0, c.width, c.height};
        EXPECT_TRUE(std::equal(wantBounds, wantBounds + 4, result.sink.bounds)) << what << ": sink bounds";
        EXPECT_EQ(result.sink.unitsPerInch, 96) << what;

        const std::vector<uint8_t> bytes = TakeMetafileBytes(result.sink.dataHandle);
        const ReadMetafile read = vrgdi32_test::ReadEnhancedMetafile(bytes);
        ASSERT_EQ(read.error, "") << what;
        const int32_t wantInclusive[4] = {0, 0, c.width - 1, c.height - 1};
        EXPECT_TRUE(std::equal(wantInclusive, wantInclusive + 4, read.bounds)) << what << ": EMF bounds";
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

VrHostHooks HooksAsking(uint32_t kind, uint32_t size = sizeof(VrHostHooks)) {
    VrHostHooks hooks{};
    hooks.size = size;
    hooks.metafileKind = kind;
    return hooks;
}

TEST(WriterTest, WindowsMetafileWhenTheHostAsks) {
    const VrHostHooks wantsWmf = HooksAsking(kVrMetafileWmf), wantsEmf = HooksAsking(kVrMetafileEmf);
    const VrHostHooks wrongSize = HooksAsking(kVrMetafileWmf, 8);
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
        {"host value that is no address", "", reinterpret_cast<const VrHostHooks*>(uintptr_t{0x18}), OBJ_ENHMETAFILE},
    };
    const ImageCase c{100, 1000, 17};
    const TestImage image = TestImage::Make(c.width, c.height, c.colours);
    for (const Case& k : cases) {
        const DriveResult result = DriveNewWriter(image, {k.outputSpec, "", reinterpret_cast<uint64_t>(k.hooks)});
        ASSERT_NE(result.sink.dataHandle, 0u) << k.name;
        const DWORD type = GetObjectType(reinterpret_cast<void*>(result.sink.dataHandle));
        EXPECT_EQ(type, k.wantType) << k.name;
        const std::vector<uint8_t> bytes = TakeMetafileBytes(result.sink.dataHandle);
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
    // Coordinates beyond 16 bits cannot be written as WMF.
    const DriveResult tall = DriveNewWriter(TestImage::Make(1, 40000, 2), {"WMF"});
    EXPECT_TRUE(tall.errorAfterFinish);
    EXPECT_EQ(tall.errorCode, kInvalidCall);
    EXPECT_EQ(tall.sink.dataHandle, 0u);
}

TEST(WriterTest, NoMetafileUnlessThePictureIsComplete) {
    const TestImage image = TestImage::Make(100, 1000, 5);  // four bands
    struct Case {
        const char* name;
        int32_t bandsBeforeStop;
        bool abort;
    };
    const Case cases[] = {
        {"no band, no bitmap end", 0, false},
        {"two bands, no bitmap end", 2, false},
        {"aborted after a failed check", 1, true},
    };
    for (const Case& k : cases) {
        DriveOptions options;
        options.bandsBeforeStop = k.bandsBeforeStop;
        options.abortAfterBands = k.abort;
        const DriveResult result = DriveNewWriter(image, options);
        EXPECT_EQ(result.sink.dataHandle, 0u) << k.name;
        EXPECT_FALSE(result.errorAfterFinish) << k.name << ": error " << result.errorCode;
        EXPECT_EQ(result.closeResult, 0) << k.name;
    }
}

// Reads and clears the writer's error: {flag set, code}.
std::pair<bool, int16_t> TakeError(WriterHandle writer) {
    uint32_t flag = 0;
    int16_t pair[2] = {0, 0};
    WriterGetError(writer, 1, &flag, pair);
    return {flag != 0, pair[0]};
}

TEST(WriterTest, StoppedJobGivesStopCodeAndNoMetafile) {
    VrHostHooks hooks{};
    hooks.size = sizeof hooks;
    hooks.shouldStop = [](void*) -> int32_t { return 1; };
    for (bool stopBeforeFinish : {false, true}) {
        const ImportJobHandle job = ImportJobBegin(nullptr, "XPM Import", "in.xpm", 0, 1, 0);
        if (stopBeforeFinish) {
            // The host's stop lands at the last progress check, before the output finishes.
            WriterHandle writer = WriterCreate(0);
            StatusSink sink{};
            sink.userData = job;
            sink.hostValue = reinterpret_cast<uint64_t>(&hooks);
            ASSERT_EQ(OutputOpen(writer, "", "", 0, nullptr, &sink), 0);
            EXPECT_EQ(DefaultStatusProc(job, 0, 0, 100, 0, 0, nullptr), 1);
            EXPECT_EQ(DefaultStatusProc(job, 2, 61, 0, 0, 0, nullptr), 1);
            OutputFinish(writer);
            EXPECT_EQ(TakeError(writer), (std::pair<bool, int16_t>{true, 901}));
            EXPECT_EQ(sink.dataHandle, 0u);
            EXPECT_EQ(OutputClose(writer), 0);
            WriterDestroy(writer);
        } else {
            // No stop notice answered: the picture is made.
            const DriveResult result =
                DriveNewWriter(TestImage::Make(10, 10, 2), {"", "", reinterpret_cast<uint64_t>(&hooks), job});
            EXPECT_FALSE(result.errorAfterFinish);
            EXPECT_NE(result.sink.dataHandle, 0u);
            DeleteMetafile(result.sink.dataHandle);
        }
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
    DriveOptions options;
    options.outputName = path;
    DriveResult result = DriveNewWriter(image, options);
    ASSERT_NE(result.sink.dataHandle, 0u);
    EXPECT_TRUE(FileBytes(path) == TakeMetafileBytes(result.sink.dataHandle)) << "file and handle hold the same bytes";

    options.bandsBeforeStop = 0;
    result = DriveNewWriter(image, options);
    EXPECT_EQ(result.sink.dataHandle, 0u);
    EXPECT_NE(access(path.c_str(), F_OK), 0) << path << ": a failed picture leaves no file behind";

    result = DriveNewWriter(image, {"", std::string(dir) + "/missing/picture.emf"});
    EXPECT_EQ(result.openResult, 301) << "output in a missing directory";
    EXPECT_EQ(result.sink.dataHandle, 0u);
    rmdir(dir);
    if (access("/dev/full", W_OK) != 0) return;
    result = DriveNewWriter(image, {"", "/dev/full"});
    EXPECT_TRUE(result.errorAfterFinish);
    EXPECT_EQ(result.errorCode, 302) << "writing to a full disk";
    EXPECT_EQ(result.errorDetail, 269);
    EXPECT_EQ(result.sink.dataHandle, 0u);
    struct stat info {};
    EXPECT_EQ(stat("/dev/full", &info), 0) << "a device is never removed";
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

// Pieces of a picture for the refusal cases: a 100 x 10 bitmap placed at y 10 down to 0,
// and one band of it.
void BeginBitmap(WriterHandle w, int16_t format = -8) {
    BandPlacement p{};
    p.p1y.value = 10;
    p.p2x.value = 100;
    p.p3x.value = 100;
    p.p3y.value = 10;
    BitmapSize s{100, {}, 10, {}};
    BitmapBegin(w, &p, &s, format, 0, 1, 3, 0);
}
void WriteBand(WriterHandle w, int16_t width, int16_t top, int16_t bottom, int16_t rows, bool withData = true) {
    static uint8_t data[104 * 20] = {};
    BandPlacement p{};
    p.p1y.value = top;
    p.p2x.value = width;
    p.p2y.value = bottom;
    p.p3x.value = width;
    p.p3y.value = top;
    BitmapSize s{width, {}, rows, {}};
    BitmapWriteBand(w, &p, &s, -8, 1, withData ? data : nullptr);
}

TEST(WriterTest, CallsThatDoNotFitAreRefused) {
    struct Case {
        const char* name;
        void (*act)(WriterHandle);
        int16_t wantCode = kInvalidCall;
    };
    const Case cases[] = {
        {"band before the bitmap", [](WriterHandle w) { WriteBand(w, 100, 10, 0, 10); }},
        {"band wider than the bitmap", [](WriterHandle w) { BeginBitmap(w), WriteBand(w, 101, 10, 5, 5); }},
        {"more rows than declared", [](WriterHandle w) { BeginBitmap(w), WriteBand(w, 100, 10, -2, 12); }},
        {"band below the bitmap", [](WriterHandle w) { BeginBitmap(w), WriteBand(w, 100, 2, -3, 5); }},
        {"placement that disagrees with the rows", [](WriterHandle w) { BeginBitmap(w), WriteBand(w, 100, 10, 0, 5); }},
        {"band without rows", [](WriterHandle w) { BeginBitmap(w), WriteBand(w, 100, 10, 5, 5, false); }},
        {"pixel format other than 8-bit indices", [](WriterHandle w) { BeginBitmap(w, -4); }},
        {"second bitmap", [](WriterHandle w) { BeginBitmap(w), BeginBitmap(w); }},
        {"bitmap of 65535 x 65535 pixels", [](WriterHandle w) {
             BandPlacement p{};
             p.p1y.value = p.p2x.value = p.p3x.value = p.p3y.value = -1;
             BitmapSize s{-1, {}, -1, {}};
             BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0);
         }, 300},
        {"unknown unit kind", [](WriterHandle w) { SetUnits(w, 2, 0.25); }},
        {"unit size of zero", [](WriterHandle w) { SetUnits(w, 1, 0.0); }},
        {"palette without entries", [](WriterHandle w) { SetPalette(w, 0, 3, nullptr); }},
        {"bitmap end without bitmap", [](WriterHandle w) { BitmapEnd(w); }},
        {"second picture", [](WriterHandle w) { PictureBegin(w, "PICTURE 2"); }},
        {"finish twice", [](WriterHandle w) { OutputFinish(w), OutputFinish(w); }},
    };
    for (const Case& k : cases) {
        // Set up to the point where bands may be written, one colour.
        StatusSink sink{};
        WriterHandle writer = WriterCreate(0);
        EXPECT_EQ(OutputOpen(writer, "", "", 0, nullptr, &sink), 0);
        OutputStart(writer, "");
        PictureBegin(writer, "PICTURE 1");
        PaletteEntry colour{255, 0, 0};
        SetPalette(writer, 0, 1, &colour);
        k.act(writer);
        EXPECT_EQ(TakeError(writer), (std::pair<bool, int16_t>{true, k.wantCode})) << k.name;
        EXPECT_FALSE(TakeError(writer).first) << k.name << ": reading the error clears it";
        // Whatever happens next, the failed picture does not become a metafile.
        BitmapEnd(writer);
        PictureEnd(writer);
        OutputFinish(writer);
        EXPECT_EQ(sink.dataHandle, 0u) << k.name;
        OutputClose(writer);
        WriterDestroy(writer);
    }
}

TEST(WriterTest, UnknownWritersAreRefused) {
    WriterHandle writer = WriterCreate(0);
    WriterDestroy(writer);
    const WriterHandle invented = reinterpret_cast<WriterHandle>(uintptr_t{0xdead0});
    for (WriterHandle handle : {writer, invented, static_cast<WriterHandle>(nullptr)}) {
        EXPECT_EQ(TakeError(handle), (std::pair<bool, int16_t>{true, kInvalidCall}));
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

TEST(WriterTest, ThirdPartyPlayerReadsTheMetafile) {
    const std::string converter = "emf2svg-conv";
    if (std::system(("command -v " + converter + " > /dev/null").c_str()) != 0) {
        GTEST_SKIP() << converter << " is not installed";
    }
    const DriveResult result = DriveNewWriter(TestImage::Make(100, 1000, 17));
    ASSERT_NE(result.sink.dataHandle, 0u);
    const std::vector<uint8_t> bytes = TakeMetafileBytes(result.sink.dataHandle);
    char dir[] = "/tmp/vrgdi32_svg_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string emf = std::string(dir) + "/in.emf", svg = std::string(dir) + "/out.svg";
    std::ofstream(emf, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
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
