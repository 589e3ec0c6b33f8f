// The picture writer end to end: pictures driven as the filter drives them come out as
// EMF or WMF whose decoded pixels equal what was sent, row 0 at the top; incomplete,
// aborted or stopped pictures give no metafile; failures set the documented codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
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
    std::vector<int32_t> records;  // rows of each stretch-DIB record, top first
};

// Bands are joined into records of at least 64 rows or 1 MiB of pixels; the last record
// takes what is left.
const ImageCase kImages[] = {
    {1, 1, 1, {1}},
    {5, 3, 4, {3}},
    {100, 1000, 17, {327, 327, 327, 19}},  // bands of 327 rows: one record each
    {3, 7, 300, {7}},
    {32768, 2, 2, {2}},                    // two 1-row bands, joined
    {1, 40000, 2, {32768, 7232}},
    {10, 0, 2, {}},
    {333, 200, 256, {98, 98, 4}},
    {5000, 100, 3, {66, 34}},              // 6-row bands: eleven make a record
    {513, 130, 5, {126, 4}},               // 63-row bands: two make a record
    {20000, 61, 2, {53, 8}},               // 1-row bands: 53 pass 1 MiB
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

void ExpectRecordsPlacedTopDown(const ReadMetafile& read, const ImageCase& c, uint32_t wantColours,
                                const std::string& what) {
    ASSERT_EQ(read.bitmaps.size(), c.records.size()) << what << ": stretch-DIB records";
    int32_t y = 0;
    for (std::size_t i = 0; i < c.records.size(); ++i) {
        EXPECT_EQ(read.bitmaps[i].x, 0) << what << " record " << i;
        EXPECT_EQ(read.bitmaps[i].y, y) << what << " record " << i;
        EXPECT_EQ(read.bitmaps[i].height, c.records[i]) << what << " record " << i;
        EXPECT_EQ(read.bitmaps[i].colourCount, wantColours) << what << " record " << i;
        y += c.records[i];
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
        ExpectRecordsPlacedTopDown(read, c, static_cast<uint32_t>(c.colours < 256 ? c.colours : 256), what);
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
    const ImageCase& c = kImages[2];
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
        // The placeable header carries the bounds and the units per inch.
        const int32_t wantBounds[4] = {0, 0, c.width, c.height};
        EXPECT_TRUE(std::equal(wantBounds, wantBounds + 4, read.placeableBounds)) << k.name;
        EXPECT_EQ(read.unitsPerInch, 96u) << k.name;
        EXPECT_TRUE(read.checksumGood) << k.name;
        ExpectRecordsPlacedTopDown(read, c, 17, k.name);
        ExpectSamePixels(read, image, k.name);
    }
    // Coordinates beyond 16 bits cannot be written as WMF.
    for (const auto& [width, height, fits] : {std::tuple{32767, 1, true}, {1, 32768, false}, {32768, 1, false}}) {
        const DriveResult result = DriveNewWriter(TestImage::Make(width, height, 2), {"WMF"});
        EXPECT_EQ(result.errorAfterFinish, !fits) << width << "x" << height;
        EXPECT_EQ(result.errorCode, fits ? 0 : kVrErrTooLargeForFormat) << width << "x" << height;
        EXPECT_EQ(result.sink.dataHandle != 0, fits) << width << "x" << height;
        if (fits) DeleteMetafile(result.sink.dataHandle);
    }
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

// Pieces of a picture for the refusal cases: a bitmap (100 x 10 unless said) placed at y
// rows down to 0, as the filter places it, and one band of it.
void BeginBitmap(WriterHandle w, int16_t format = -8, int16_t width = 100, int16_t rows = 10) {
    BandPlacement p{};
    p.p1y.value = rows;
    p.p2x.value = width;
    p.p3x.value = width;
    p.p3y.value = rows;
    BitmapSize s{width, {}, rows, {}};
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

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> DirectoryEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A named output replaces its file only with a complete picture, through a temporary file
// that never outlives the import.
TEST(WriterTest, NamedOutputFile) {
    const mode_t oldMask = umask(022);
    struct Case {
        const char* name;
        const char* existing;  // content of picture.emf before, or null
        bool viaLink;          // picture.emf is a link to real.emf, which holds `existing`
        int32_t bandsBeforeStop;
        std::string outputName = "picture.emf";
        int16_t wantOpen = 0;
    };
    const Case cases[] = {
        {"new file", nullptr, false, -1},
        {"replaces a file, keeps its mode", "old", false, -1},
        {"replaces a link's file, keeps the link", "old", true, -1},
        {"failed picture, no file before", nullptr, false, 0},
        {"failed picture keeps the old file", "old", false, 2},
        {"failed picture keeps the link's file", "old", true, 0},
        {"missing directory", nullptr, false, -1, "missing/picture.emf", 301},
    };
    const TestImage image = TestImage::Make(100, 1000, 3);
    for (const Case& k : cases) {
        char dir[] = "/tmp/vrgdi32_out_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        const std::string path = std::string(dir) + "/picture.emf", real = std::string(dir) + "/real.emf";
        std::vector<std::string> wantEntries;
        if (k.existing != nullptr) {
            std::ofstream(k.viaLink ? real : path) << k.existing;
            chmod((k.viaLink ? real : path).c_str(), 0604);
            if (k.viaLink) {
                ASSERT_EQ(symlink("real.emf", path.c_str()), 0);
            }
            wantEntries = k.viaLink ? std::vector<std::string>{"picture.emf", "real.emf"}
                                    : std::vector<std::string>{"picture.emf"};
        }
        DriveOptions options;
        options.outputName = std::string(dir) + "/" + k.outputName;
        options.bandsBeforeStop = k.bandsBeforeStop;
        const DriveResult result = DriveNewWriter(image, options);
        EXPECT_EQ(result.openResult, k.wantOpen) << k.name;
        const bool made = k.bandsBeforeStop < 0 && k.wantOpen == 0;
        EXPECT_EQ(result.sink.dataHandle != 0, made) << k.name;
        if (made) {
            wantEntries = k.viaLink ? std::vector<std::string>{"picture.emf", "real.emf"}
                                    : std::vector<std::string>{"picture.emf"};
            EXPECT_TRUE(FileBytes(path) == TakeMetafileBytes(result.sink.dataHandle)) << k.name << ": file and handle";
            struct stat info {};
            EXPECT_EQ(stat(path.c_str(), &info), 0) << k.name;
            EXPECT_EQ(info.st_mode & 0777, k.existing != nullptr ? 0604u : 0644u) << k.name << ": mode";
        } else if (k.existing != nullptr) {
            const std::vector<uint8_t> kept = FileBytes(path);
            EXPECT_EQ(std::string(kept.begin(), kept.end()), k.existing) << k.name << ": the old file stays";
        }
        struct stat link {};
        EXPECT_EQ(k.viaLink, lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) << k.name;
        EXPECT_EQ(DirectoryEntries(dir), wantEntries) << k.name << ": no temporary file is left";
        std::filesystem::remove_all(dir);
    }
    umask(oldMask);
    if (access("/dev/full", W_OK) != 0) return;
    const DriveResult result = DriveNewWriter(image, {"", "/dev/full"});
    EXPECT_TRUE(result.errorAfterFinish);
    EXPECT_EQ(result.errorCode, 302) << "writing to a full disk";
    EXPECT_EQ(result.errorDetail, 269);
    EXPECT_EQ(result.sink.dataHandle, 0u);
    struct stat info {};
    EXPECT_EQ(stat("/dev/full", &info), 0) << "a device is never removed";
}

// With kVrHookOutputFd the metafile goes to the host's descriptor and the sink gets no handle.
TEST(WriterTest, HostDescriptorOutput) {
    char dir[] = "/tmp/vrgdi32_fd_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/out";
    struct Case {
        const char* name;
        int flags;  // open flags of the file, or -1 for the read end of a pipe
        const char* outputSpec;
        std::string outputName;
        int16_t wantOpen;
    };
    const Case cases[] = {
        {"EMF to a read-write descriptor", O_RDWR | O_CREAT | O_TRUNC, "", "", 0},
        {"WMF to a write-only descriptor", O_WRONLY | O_CREAT | O_TRUNC, "WMF", "", 0},
        {"descriptor that appends", O_WRONLY | O_CREAT | O_APPEND, "", "", 301},
        {"read-only descriptor", O_RDONLY | O_CREAT, "", "", 301},
        {"pipe", -1, "", "", 301},
        {"descriptor and a name", O_RDWR | O_CREAT, "", path + ".emf", kInvalidCall},
    };
    const ImageCase& c = kImages[8];  // joined records
    const TestImage image = TestImage::Make(c.width, c.height, c.colours);
    for (const Case& k : cases) {
        int ends[2] = {-1, -1};
        const int fd = k.flags >= 0 ? open(path.c_str(), k.flags, 0644) : (pipe(ends), ends[1]);
        ASSERT_GE(fd, 0) << k.name;
        VrHostHooks hooks = HooksAsking(kVrMetafileEmf);
        hooks.flags = kVrHookOutputFd;
        hooks.outputFd = fd;
        const DriveResult result = DriveNewWriter(image, {k.outputSpec, k.outputName, reinterpret_cast<uint64_t>(&hooks)});
        EXPECT_EQ(result.openResult, k.wantOpen) << k.name;
        EXPECT_EQ(result.sink.dataHandle, 0u) << k.name;
        if (k.wantOpen == 0) {
            EXPECT_FALSE(result.errorAfterFinish) << k.name << ": error " << result.errorCode;
            EXPECT_EQ(result.sink.bounds[2], c.width) << k.name;
            EXPECT_EQ(result.sink.unitsPerInch, 96) << k.name;
            const std::vector<uint8_t> bytes = FileBytes(path);
            EXPECT_EQ(lseek(fd, 0, SEEK_CUR), static_cast<off_t>(bytes.size())) << k.name << ": left at the end";
            const bool wmf = k.outputSpec[0] == 'W';
            const ReadMetafile read = wmf ? vrgdi32_test::ReadWindowsMetafile(bytes) : vrgdi32_test::ReadEnhancedMetafile(bytes);
            ASSERT_EQ(read.error, "") << k.name;
            EXPECT_EQ(read.declaredBytes, bytes.size()) << k.name;
            ExpectRecordsPlacedTopDown(read, c, static_cast<uint32_t>(c.colours), k.name);
            ExpectSamePixels(read, image, k.name);
        }
        close(fd);
        if (ends[0] >= 0) close(ends[0]);
        unlink(path.c_str());
    }
    std::filesystem::remove_all(dir);

    // The 2 GiB limit, met by the band that would carry the metafile past it: 32768 x 65535
    // in 1-row bands make 32-row records of 1,049,720 bytes after a 108-byte header, and the
    // 2046th would leave no room for the 20-byte end.
    VrHostHooks hooks = HooksAsking(kVrMetafileEmf);
    hooks.flags = kVrHookOutputFd;
    hooks.outputFd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    StatusSink sink{};
    sink.hostValue = reinterpret_cast<uint64_t>(&hooks);
    WriterHandle writer = WriterCreate(0);
    ASSERT_EQ(OutputOpen(writer, "", "", 0, nullptr, &sink), 0);
    PictureBegin(writer, "PICTURE 1");
    const std::vector<PaletteEntry> palette(256);
    SetPalette(writer, 0, 256, palette.data());
    BeginBitmap(writer, -8, -32768, -1);
    const std::vector<uint8_t> row(32768, 7);
    int32_t failedAt = -1;
    for (int32_t r = 0; r < 65535 && failedAt < 0; ++r) {
        BandPlacement p{};
        p.p1y.value = p.p3y.value = static_cast<int16_t>(65535 - r);
        p.p2y.value = static_cast<int16_t>(65534 - r);
        p.p2x.value = p.p3x.value = -32768;
        BitmapSize s{-32768, {}, 1, {}};
        BitmapWriteBand(writer, &p, &s, -8, 1, row.data());
        if (TakeError(writer) == std::pair<bool, int16_t>{true, 300}) failedAt = r;
    }
    EXPECT_EQ(failedAt, 2046 * 32 - 1);
    WriterDestroy(writer);
    close(hooks.outputFd);
}

TEST(WriterTest, AllocationFailureGivesMemoryErrorAndNoLeak) {
    const TestImage image = TestImage::Make(5000, 100, 17);  // records joined in a buffer
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
        // A picture is complete only with every declared row; a height below 0 (sent as its
        // low 16 bits) gives no band at all.
        {"bitmap end with rows missing", [](WriterHandle w) { BeginBitmap(w), WriteBand(w, 100, 10, 5, 5), BitmapEnd(w); },
         kVrErrIncomplete},
        {"height -1000", [](WriterHandle w) { BeginBitmap(w, -8, 100, -1000), BitmapEnd(w); }, kVrErrIncomplete},
        {"height -32768", [](WriterHandle w) { BeginBitmap(w, -8, 3, -32768), BitmapEnd(w); }, kVrErrIncomplete},
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
