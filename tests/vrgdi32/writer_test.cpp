// The picture writer: pictures sent band by band come out as EMF or WMF that the host's own
// renderer shows as sent, with headers that agree with their records; refused, incomplete or
// aborted pictures give no metafile; failures set the documented codes and details.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "child.h"
#include "device_twin.h"
#include "temp_dir.h"
#include "vrgdi32/vrgdi32.h"
#include "xpmimport/render/byte_reader.h"
#include "xpmimport/render/dib_paint.h"
#include "xpmimport/render/metafile_canvas.h"
#include "xpmimport/import/owned_metafile.h"

namespace {

using namespace xpmimport;
using Error = std::array<int16_t, 3>;  // flag, code, detail
constexpr int16_t kInvalid = kVrErrInvalidCall, kMemory = kVrErrMemory, kWrite = kVrErrWrite,
                  kFull = kVrErrDetailDiskFull;

// Pixel (x, y) of every test picture and palette entry i: rows and columns all differ, so a
// misplaced, flipped or recoloured row shows.
uint8_t IndexAt(int32_t x, int32_t y, int32_t colours) {
    return static_cast<uint8_t>((x * 7 + y * 13 + ((x * y) >> 3)) % std::clamp(colours, 1, 256));
}
PaletteEntry ColourOf(int32_t i) {
    return {uint8_t(i * 37 + 1), uint8_t(i * 91 + 2), uint8_t(i * 53 + 3)};
}

// Coordinates travel as their low 16 bits, y pointing up: a band's top edge lies `top` above
// the picture's bottom, its left edge at `left` (the bitmap's own, unless a test moves it).
BandPlacement Placement(int32_t width, int32_t top, int32_t rows, int32_t left = 7) {
    const auto at = [](int32_t v) { return CoordSlot{static_cast<int16_t>(v), {}}; };
    return {at(left), at(top), at(left + width), at(top - rows), at(left + width), at(top)};
}
BitmapSize Size(int32_t width, int32_t rows) {
    return {static_cast<int16_t>(width), {}, static_cast<int16_t>(rows), {}};
}

Error TakeError(WriterHandle writer) {
    uint32_t flag = 0;
    int16_t pair[2] = {0, 0};
    WriterGetError(writer, 1, &flag, pair);
    return {int16_t(flag != 0), pair[0], pair[1]};
}

// Pieces of a 100 x 10 bitmap (unless said) placed from y = rows down to 0, as the filter places
// it, and bands of it: `declared` rows other than the placement's.
void Begin(WriterHandle w, int16_t format = -8, int16_t width = 100, int16_t rows = 10) {
    const BandPlacement p = Placement(width, rows, rows);
    const BitmapSize s = Size(width, rows);
    BitmapBegin(w, &p, &s, format, 0, 1, 3, 0);
}
void Band(WriterHandle w, int16_t width, int16_t top, int16_t rows, int16_t left = 7,
          int16_t format = -8, int16_t declared = -1) {
    static const uint8_t data[104 * 20] = {};
    const BandPlacement p = Placement(width, top, rows, left);
    const BitmapSize s = Size(width, declared < 0 ? rows : declared);
    BitmapWriteBand(w, &p, &s, format, 1, data);
}

// What is sent: bands of bandRows (the first of firstRows when set), from the top or from the
// bottom up; bitmap, when set, sends the bitmap instead of the picture's; with blank every
// pixel is left at index 0 (for pictures of gigabytes).
struct Sent {
    const char* format = "";
    int32_t width = 100, height = 1000, colours = 17, bandRows = 327, firstRows = 0;
    bool bottomUp = false;
    uint64_t hostValue = 0;
    double unitMm = 25.4 / 96;
    std::string name;
    void (*afterOpen)(WriterHandle) = nullptr, (*bitmap)(WriterHandle) = nullptr;
    bool blank = false;
};
// The first error pending and the band after which it was (-1 at the end).
struct Outcome {
    int16_t open = 0;
    Error error{};
    int32_t failedBand = -1;
    StatusSink sink{};
};

// Sends the picture as the filter does, looking for an error after every band and at the end.
// Whatever happened, reading the error clears it, the output closes once, the writer then makes
// a picture of the other kind, and the destroyed writer, like one never made, answers 320.
Outcome Drive(const Sent& run) {
    WriterHandle writer = WriterCreate(0);
    // The sink's result fields hold what a host left there: a failed picture clears them.
    Outcome out{.sink = {.hostValue = run.hostValue,
                         .dataHandle = 0x5550,
                         .bounds = {1, 2, 3, 4},
                         .unitsPerInch = 7}};
    WriterSetNames(writer, nullptr, "", std::string(300, 'n').c_str());
    if ((out.open = OutputOpen(writer, run.format, run.name.c_str(), 0, nullptr, &out.sink)) != 0) {
        WriterDestroy(writer);
        return out;
    }
    if (run.afterOpen != nullptr) run.afterOpen(writer);
    OutputStart(writer, run.format);
    PictureBegin(writer, "PICTURE 1");
    const FrameRect frame{
        {}, {}, {static_cast<int16_t>(run.width), {}}, {static_cast<int16_t>(run.height), {}}};
    SetFrame(writer, &frame);
    SetUnits(writer, 1, run.unitMm);
    SetWindow(writer, &frame);
    PictureStartDrawing(writer);
    std::vector<PaletteEntry> palette;
    for (int32_t i = 0; i < std::max(run.colours, 1); ++i) palette.push_back(ColourOf(i));
    SetPalette(writer, 0, static_cast<int16_t>(run.colours), palette.data());
    const auto note = [&](int32_t band) {  // the first error, once: reading it clears it
        if (out.error[0] != 0 || (out.error = TakeError(writer))[0] == 0) return;
        out.failedBand = band;
        EXPECT_EQ(TakeError(writer)[0], 0) << "reading the error clears it";
    };
    if (run.bitmap != nullptr) {
        run.bitmap(writer);
        note(0);
    } else {
        Begin(writer, -8, static_cast<int16_t>(run.width), static_cast<int16_t>(run.height));
    }
    std::vector<std::pair<int32_t, int32_t>> bands;  // top row, rows
    for (int32_t top = 0, rows; top < run.height && run.bitmap == nullptr; top += rows) {
        rows = std::min(top == 0 && run.firstRows != 0 ? run.firstRows : run.bandRows,
                        run.height - top);
        bands.emplace_back(top, rows);
    }
    if (run.bottomUp) std::reverse(bands.begin(), bands.end());
    const int32_t stride = (run.width + 3) / 4 * 4;
    std::vector<uint8_t> band(static_cast<size_t>(stride) * std::max(run.bandRows, run.firstRows));
    for (int32_t n = 0; n < std::ssize(bands); note(n++)) {
        const auto [top, rows] = bands[n];
        for (int32_t r = 0; r < rows && !run.blank; ++r) {
            for (int32_t x = 0; x < run.width; ++x)
                band[size_t(r) * stride + x] = IndexAt(x, top + r, run.colours);
        }
        const BandPlacement at = Placement(run.width, run.height - top, rows);
        const BitmapSize bandSize = Size(run.width, rows);
        BitmapWriteBand(writer, &at, &bandSize, -8, 1, band.data());
    }
    if (run.bitmap == nullptr) BitmapEnd(writer);
    PictureEnd(writer);
    OutputFinish(writer);
    note(-1);
    EXPECT_EQ(std::vector<int16_t>({OutputClose(writer), OutputClose(writer)}),
              std::vector<int16_t>({0, kInvalid}));
    // The second picture starts from a clean slate.
    StatusSink again{};
    const char* const other = run.format[0] == 'W' ? "EMF" : "WMF";
    const FrameRect pixel{{}, {}, {1, {}}, {1, {}}};
    OutputOpen(writer, other, "", 0, nullptr, &again);
    OutputStart(writer, other);
    PictureBegin(writer, "PICTURE 2");
    SetFrame(writer, &pixel);
    SetWindow(writer, &pixel);
    PictureStartDrawing(writer);
    Begin(writer, -8, 1, 1);
    Band(writer, 1, 1, 1);
    BitmapEnd(writer);
    PictureEnd(writer);
    OutputFinish(writer);
    OwnedMetafile second(reinterpret_cast<void*>(again.dataHandle));
    EXPECT_EQ(
        std::make_tuple(TakeError(writer), other[0] == 'W' ? second.windows() : second.enhanced(),
                        OutputClose(writer)),
        std::make_tuple(Error{}, true, int16_t{0}))
        << "a second picture, " << other << ": the error, its kind, the close";
    WriterDestroy(writer);
    EXPECT_EQ(std::make_pair(TakeError(writer), OutputOpen(writer, "", "", 0, nullptr, &out.sink)),
              std::make_pair(Error{1, kInvalid, 0}, kInvalid));
    EXPECT_EQ(OutputClose(writer), kInvalid) << "closing a destroyed writer";
    return out;
}

// The host's renderer, noting each bitmap record: top row, rows, DIB height, colours, pixels per
// metre (-1 when the two directions differ), bytes of pixels.
struct Seen final : PictureTarget {
    RgbImage image;
    std::vector<std::array<int64_t, 6>> draws;
    bool begin(int32_t width, int32_t height, std::string*) override {
        image = {width, height, std::vector<uint8_t>(size_t(width) * height * 3, 0xFF)};
        return true;
    }
    bool paint(const BitmapDraw& d, const DibPlacement& p, std::string* error) override {
        if (!PaintDib(d.info, d.bits, p, image, 0, error)) return false;
        draws.push_back({std::min(p.destY0, p.destY1), std::abs(p.destY1 - p.destY0),
                         I32At(d.info, 8), U32At(d.info, 32),
                         I32At(d.info, 24) == I32At(d.info, 28) ? I32At(d.info, 24) : -1,
                         U32At(d.info, 20)});
        return true;
    }
};

// What a picture should look like: its bitmap records' rows top first, the colours in each
// record's table, and how many palette entries show (the others are black).
struct Shape {
    std::vector<int32_t> records;
    uint32_t tableColours;
    int32_t shown;
};

// An EMF, or a WMF as a file (with its placeable header) or as a handle's bits.
enum class Kind { kEmf, kWmfFile, kWmfHandle };

void ExpectShown(const Outcome& out, std::span<const uint8_t> b, Kind kind, const Sent& run,
                 const Shape& want, const std::string& what) {
    MetafileSource source(b);
    Seen seen;
    std::string error;
    ASSERT_TRUE(kind != Kind::kEmf ? WalkWindowsMetafile(source, seen, &error)
                                   : WalkEnhancedMetafile(source, seen, &error))
        << what << ": " << error;
    std::vector<uint8_t> pixels;
    for (int32_t y = 0; y < run.height; ++y) {
        for (int32_t x = 0, i; x < run.width; ++x) {
            const PaletteEntry c =
                (i = IndexAt(x, y, run.colours)) < want.shown ? ColourOf(i) : PaletteEntry{};
            pixels.insert(pixels.end(), {uint8_t(c.red), uint8_t(c.green), uint8_t(c.blue)});
        }
    }
    const auto wrong = std::mismatch(pixels.begin(), pixels.end(), seen.image.pixels.begin(),
                                     seen.image.pixels.end())
                           .first -
                       pixels.begin();
    EXPECT_TRUE(wrong == std::ssize(pixels) && pixels.size() == seen.image.pixels.size())
        << what << ": " << seen.image.width << " x " << seen.image.height << ", first wrong pixel "
        << wrong / 3 % run.width << ", " << wrong / 3 / run.width;
    std::vector<std::array<int64_t, 6>> draws;
    for (int64_t y = 0; int32_t rows : want.records) {
        draws.push_back({y, rows, rows, want.tableColours, std::lround(1000 / run.unitMm),
                         rows * ((run.width + 3) / 4 * 4)});
        y += rows;
    }
    std::sort(seen.draws.begin(), seen.draws.end());  // the order of records is free
    EXPECT_EQ(seen.draws, draws) << what << ": bitmap records";
    // The sink, then the header's account of the metafile: size, records with the header and
    // the end, handles (only the reserved one: no objects).
    uint16_t checksum = 0;
    for (int i = 0; i < 20; i += 2) checksum ^= U16At(b, i);
    const int64_t inch = std::lround(25.4 / run.unitMm), size = std::ssize(b);
    const int32_t* sink = out.sink.bounds;
    std::vector<int64_t> got = {sink[0], sink[1], sink[2], sink[3], out.sink.unitsPerInch},
                         expected = {0, 0, run.width, run.height, inch};
    if (kind == Kind::kWmfFile) {
        // The placeable box at its units per inch is the picture, 2 units or more each way
        // (LibreOffice shows 1 unit as 10 cm).
        const int64_t units = U16At(b, 14), box[2] = {I16At(b, 10), I16At(b, 12)};
        got.insert(got.end(), {U32At(b, 0), I16At(b, 6), I16At(b, 8), box[0] * inch, box[1] * inch,
                               std::min(box[0], box[1]) > 1, U16At(b, 20)});
        expected.insert(expected.end(),
                        {0x9AC6CDD7, 0, 0, run.width * units, run.height * units, true, checksum});
    }
    if (kind != Kind::kEmf) {
        const size_t at = kind == Kind::kWmfFile ? 22 : 0;
        got.insert(got.end(), {U32At(b, at), U16At(b, at + 6) | int64_t{U16At(b, at + 8)} << 16});
        expected.insert(expected.end(), {0x00090001, (size - int64_t(at)) / 2});
    } else {
        got.insert(got.end(), {I32At(b, 8), I32At(b, 12), I32At(b, 16), I32At(b, 20), I32At(b, 24),
                               I32At(b, 28), I32At(b, 32), I32At(b, 36), U32At(b, 48), U32At(b, 52),
                               U16At(b, 56), std::lround(I32At(b, 72) * 25.4 / I32At(b, 80)),
                               std::lround(I32At(b, 76) * 25.4 / I32At(b, 84))});
        expected.insert(expected.end(), {0, 0, run.width - 1, run.height - 1, 0, 0,
                                         std::lround(run.width * run.unitMm * 100) - 1,
                                         std::lround(run.height * run.unitMm * 100) - 1, size,
                                         std::ssize(seen.draws) + 2, 1, inch, inch});
    }
    EXPECT_EQ(got, expected) << what << ": the sink, then the header";
}

// Hooks records (the job tests read them at every size and address).
const VrHostHooks kWantsWmf{sizeof(VrHostHooks), kVrMetafileWmf},
    kV2WantsWmf{kVrHostHooksSizeV2, kVrMetafileWmf},
    kAtLimit{.size = sizeof(VrHostHooks), .maxPixels = 100000},
    kToNowhere{.size = sizeof(VrHostHooks),
               .flags = kVrHookOutputFd,
               .outputFd = open("/dev/null", O_WRONLY)};
uint64_t Address(const VrHostHooks& hooks) {
    return reinterpret_cast<uint64_t>(&hooks);
}
// The default picture's: an EMF's bands, a WMF's one bitmap with a whole colour table.
const Shape kFourBands{{327, 327, 327, 19}, 17, 17}, kWholeBitmap{{1000}, 256, 17};

TEST(WriterTest, PicturesComeOutAsSent) {
    struct Case {
        const char* name;
        Sent run;
        Shape shape{};
        bool wmf = false;
        int16_t wantCode = 0;
        int32_t failedBand = -1;
    };
    // Bands join into records of at least 64 rows or 1 MiB of pixels; the last takes the rest.
    // clang-format off
    const Case cases[] = {
        {.name = "rows padded", .run = {.width = 5, .height = 3, .colours = 4, .bandRows = 3}, .shape = {{3}, 4, 4}},
        {.name = "300 colours", .run = {.width = 3, .height = 7, .colours = 300, .bandRows = 7}, .shape = {{7}, 256, 256}},
        {.name = "32768 wide", .run = {.width = 32768, .height = 2, .colours = 2, .bandRows = 1}, .shape = {{2}, 2, 2}},
        {.name = "40000 rows", .run = {.width = 1, .height = 40000, .colours = 2, .bandRows = 32768},
         .shape = {{32768, 7232}, 2, 2}},
        {.name = "no rows", .run = {.width = 10, .height = 0, .colours = 2, .bandRows = 1}, .shape = {{}, 2, 2}},
        {.name = "bands joined to 64 rows", .run = {.width = 5000, .height = 100, .colours = 3, .bandRows = 8},
         .shape = {{64, 36}, 3, 3}},
        {.name = "two bands joined", .run = {.width = 513, .height = 130, .colours = 5, .bandRows = 63},
         .shape = {{126, 4}, 5, 5}},
        {.name = "rows joined to 1 MiB", .run = {.width = 20000, .height = 61, .colours = 2, .bandRows = 1},
         .shape = {{53, 8}, 2, 2}},
        // Only a band right below the waiting rows, with room beside them, joins them.
        {.name = "bands from the bottom up", .run = {.height = 10, .colours = 2, .bandRows = 2, .bottomUp = true},
         .shape = {{2, 2, 2, 2, 2}, 2, 2}},
        {.name = "a band too big for the room left", .run = {.width = 32768, .height = 65, .colours = 2, .bandRows = 64,
         .firstRows = 1}, .shape = {{1, 64}, 2, 2}},
        {.name = "units of 0.1 mm", .run = {.width = 10, .height = 10, .colours = 2, .bandRows = 10, .unitMm = 0.1},
         .shape = {{10}, 2, 2}},
        // Palette counts travel as 16 bits: 65536 arrives as none, 40000 as more than 256.
        {.name = "no palette", .run = {.width = 4, .height = 4, .colours = 0, .bandRows = 4}, .shape = {{4}, 1, 0}},
        {.name = "65536 colours", .run = {.width = 64, .height = 16, .colours = 65536, .bandRows = 8},
         .shape = {{16}, 256, 0}},
        {.name = "40000 colours", .run = {.width = 16, .height = 16, .colours = 40000, .bandRows = 8},
         .shape = {{16}, 256, 256}},
        {.name = "WMF", .run = {.format = "WMF"}, .shape = kWholeBitmap, .wmf = true},
        {.name = "wmf in 0.1 mm", .run = {.format = "wmf", .width = 1000, .height = 300, .colours = 256, .bandRows = 40,
         .unitMm = 0.1}, .shape = {{300}, 256, 256}, .wmf = true},
        {.name = "WMF 32767 wide", .run = {.format = "WMF", .width = 32767, .height = 1, .colours = 2, .bandRows = 1},
         .shape = {{1}, 256, 2}, .wmf = true},
        {.name = "WMF 32768 high", .run = {.format = "WMF", .width = 1, .height = 32768, .colours = 2, .bandRows = 32768},
         .wmf = true, .wantCode = kVrErrTooLargeForFormat, .failedBand = 0},
        {.name = "WMF 32768 wide", .run = {.format = "WMF", .width = 32768, .height = 1, .colours = 2, .bandRows = 1},
         .wmf = true, .wantCode = kVrErrTooLargeForFormat, .failedBand = 0},
        // The kind the host asks for, unless the output names one.
        {.name = "the host asks for WMF", .run = {.hostValue = Address(kWantsWmf)}, .shape = kWholeBitmap, .wmf = true},
        {.name = "a record of the second size asks for WMF", .run = {.hostValue = Address(kV2WantsWmf)},
         .shape = kWholeBitmap, .wmf = true},
        // The host's pixel limit holds from the frame on, before any band.
        {.name = "at the pixel limit", .run = {.hostValue = Address(kAtLimit)}, .shape = kFourBands},
        {.name = "a frame over the pixel limit", .run = {.height = 1001, .hostValue = Address(kAtLimit),
         .bitmap = [](WriterHandle w) { Begin(w); }}, .wantCode = kVrErrTooManyPixels, .failedBand = 0},
        {.name = "a bitmap over the pixel limit in a frame at it", .run = {.hostValue = Address(kAtLimit),
         .bitmap = [](WriterHandle w) { Begin(w, -8, 100, 1001); }}, .wantCode = kVrErrTooManyPixels, .failedBand = 0},
        {.name = "EMF named, WMF asked", .run = {.format = "EMF", .hostValue = Address(kWantsWmf)}, .shape = kFourBands},
        // The 2 GiB limit, met inside a band: 32768 x 65535 pixels in bands of 32 rows make records
        // of 1 MiB and a colour table each, so the 2046th band would carry the metafile past it.
        {.name = "2 GiB", .run = {.width = 32768, .height = 65535, .colours = 256, .bandRows = 32,
         .hostValue = Address(kToNowhere), .blank = true}, .wantCode = kMemory, .failedBand = 2045},
    };
    // clang-format on
    for (const Case& c : cases) {
        const Outcome out = Drive(c.run);
        EXPECT_EQ(std::vector<int32_t>({out.open, out.error[1], out.failedBand}),
                  std::vector<int32_t>({0, c.wantCode, c.failedBand}))
            << c.name << ": OutputOpen, the error, the band after which it was";
        OwnedMetafile handle(reinterpret_cast<void*>(out.sink.dataHandle));
        EXPECT_EQ(c.wmf ? handle.windows() : handle.enhanced(), c.wantCode == 0) << c.name;
        if (c.wantCode == 0)
            ExpectShown(out, handle.bytes(), c.wmf ? Kind::kWmfHandle : Kind::kEmf, c.run, c.shape,
                        c.name);
    }
}

// open(2) and close(2) as the library sees them. Once armed, the next open that makes a file
// fails with the error number given, as a directory that refuses new files answers; the next
// close fails with EIO (the descriptor is closed all the same, as Linux does).
int g_refuseNewFile = 0;
bool g_failNextClose = false;
void FailNextClose(WriterHandle) {
    g_failNextClose = true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    const bool makes = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = makes ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    if (makes && g_refuseNewFile != 0) {
        errno = std::exchange(g_refuseNewFile, 0);
        return -1;
    }
    return static_cast<int>(syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

extern "C" __attribute__((visibility("default"))) int close(int fd) {
    const auto closed = static_cast<int>(syscall(SYS_close, fd));
    if (!std::exchange(g_failNextClose, false)) return closed;
    errno = EIO;
    return -1;
}

namespace {

// Where the picture goes: a named file replaced only by a complete picture (no temporary file
// outlives the import, none has a name while it is made, none is readable by others), or the
// host's descriptor; and the failures of each. The handle of a named file keeps its bytes when
// the file changes.
TEST(WriterTest, Destinations) {
    namespace fs = std::filesystem;
    // The directory; once the output is open, its entries and the mode of the temporary file.
    static std::string watched;
    static std::ptrdiff_t during = -1;
    static int temporaryMode = -1, reader = -1;
    // What stands at the output's name before: a file (`old`, longer than any picture here, mode
    // 0640), a link to one beside it (planted: another user's, in a sticky directory anyone may
    // write), a pipe (whose reader leaves once the output is open), a file no one but root may
    // write, in a directory anyone may write.
    enum Before { kNothing, kFile, kLink, kPlantedLink, kPipe, kPipeReaderLeaves, kReadOnlyFile };
    // output: the name, in the directory unless absolute ("" with a descriptor); nameChars: a
    // name of that many characters; fdFlags: the picture goes to a descriptor opened so;
    // nobody: run as "nobody", who may not write the directory. wantFile: "new" the picture,
    // else the bytes the name holds afterwards.
    struct Case {
        const char* name;
        Before before = kNothing;
        std::string output = "picture.emf";
        std::size_t nameChars = 0;
        int fdFlags = -1;
        const char* format = "";
        int32_t width = 100, height = 1000;
        bool nobody = false;
        int refuse = 0;  // the directory refuses a new file with this error number
        rlim_t sizeLimit = RLIM_INFINITY;
        const char* tmpdir = nullptr;  // $TMPDIR (set in the child of a row run as nobody)
        void (*afterOpen)(WriterHandle) = nullptr;
        int16_t wantOpen = 0;
        Error wantError{};
        std::string wantFile = "<none>";
    };
    const Error kDiskFull{1, kWrite, kFull};
    const std::string old = "old" + std::string(1 << 18, '.');
    // clang-format off
    const Case cases[] = {
        {.name = "new file", .wantFile = "new"},
        {.name = "replaces a file", .before = kFile, .wantFile = "new"},
        {.name = "replaces a link's file", .before = kLink, .wantFile = "new"},
        {.name = "a link planted by another user", .before = kPlantedLink, .wantOpen = 301, .wantFile = old},
        // The directory refuses a temporary file: the file is rewritten in place, and only
        // when the whole picture fits is the old one gone.
        {.name = "in place, the directory not writable, on a file system without unnamed files", .before = kFile, .nobody = true, .refuse = EOPNOTSUPP, .wantFile = "new"},
        {.name = "in place, the directory refuses: EPERM", .before = kFile, .refuse = EPERM, .wantFile = "new"},
        {.name = "in place, the directory refuses: EROFS", .before = kFile, .refuse = EROFS, .wantFile = "new"},
        {.name = "a file the user may not write", .before = kReadOnlyFile, .nobody = true, .wantOpen = 301, .wantFile = old},
        // A file system without unnamed files gets a named temporary file (not watched: it has a
        // name while it is made).
        {.name = "a file system without unnamed files: EOPNOTSUPP", .refuse = EOPNOTSUPP, .afterOpen = [](WriterHandle) {}, .wantFile = "new"},
        {.name = "a file system without unnamed files: EISDIR", .refuse = EISDIR, .afterOpen = [](WriterHandle) {}, .wantFile = "new"},
        {.name = "a file system without unnamed files: EINVAL", .refuse = EINVAL, .afterOpen = [](WriterHandle) {}, .wantFile = "new"},
        {.name = "no place, the directory full", .before = kFile, .refuse = ENOSPC, .wantOpen = 301, .wantFile = old},
        {.name = "in place, $TMPDIR missing: no copy of the old file", .before = kFile, .nobody = true, .tmpdir = "/no/such/dir", .wantError = {1, kWrite, 0}, .wantFile = old},
        {.name = "in place, beyond the file size limit", .before = kFile, .nobody = true, .sizeLimit = 65536,
         .wantError = kDiskFull, .wantFile = old},
        {.name = "a name of 259 characters, the longest", .nameChars = 259, .wantFile = "new"},
        {.name = "a name of 260 characters", .nameChars = 260, .wantOpen = 301},
        {.name = "aborted picture keeps the old file", .before = kFile, .afterOpen = WriterAbort, .wantFile = old},
        {.name = "missing directory", .output = "missing/picture.emf", .wantOpen = 301},
        {.name = "beyond the file size limit", .before = kFile, .sizeLimit = 65536, .wantError = kDiskFull, .wantFile = old},
        {.name = "full disk", .output = "/dev/full", .wantError = kDiskFull},
        {.name = "a device whose close fails", .output = "/dev/null", .afterOpen = FailNextClose, .wantError = {1, kWrite, 0}},
        {.name = "pipe whose reader left", .before = kPipeReaderLeaves, .wantError = {1, kWrite, 0}},
        {.name = "pipe without a reader", .before = kPipe, .wantOpen = 301},
        {.name = "EMF to a read-write descriptor", .output = "", .fdFlags = O_RDWR | O_CREAT, .wantFile = "new"},
        {.name = "WMF to a write-only descriptor", .output = "", .fdFlags = O_WRONLY | O_CREAT, .format = "WMF", .wantFile = "new"},
        // The longest side that still fits when a 1-pixel side makes every pixel 2 units.
        {.name = "WMF 1 pixel wide and 16383 high, named", .format = "WMF", .width = 1, .height = 16383, .wantFile = "new"},
        {.name = "WMF 1 pixel high, named", .format = "WMF", .height = 1, .wantFile = "new"},
        {.name = "descriptor that appends", .output = "", .fdFlags = O_WRONLY | O_CREAT | O_APPEND, .wantOpen = 301, .wantFile = ""},
        {.name = "descriptor and a name", .fdFlags = O_RDWR | O_CREAT, .wantOpen = kInvalid, .wantFile = ""},
    };
    // clang-format on
    rlimit fileSize{};
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &fileSize);
    const mode_t mask = umask(0);
    umask(mask);
    for (const Case& c : cases) {
        xpmtest::TempDir dir("vrgdi32_out");
        const std::string path =
            dir.file(c.nameChars == 0 ? "picture.emf"
                                      : std::string(c.nameChars - dir.path().size() - 1, 'n'));
        const bool plain = c.before == kFile || c.before == kReadOnlyFile;
        if (plain || c.before == kLink || c.before == kPlantedLink)
            chmod(dir.Write(plain ? "picture.emf" : "real.emf", old).c_str(),
                  c.before == kReadOnlyFile ? 0444 : 0640);
        if (c.before == kReadOnlyFile) chmod(dir.path().c_str(), 0777);
        if (c.before == kLink || c.before == kPlantedLink) symlink("real.emf", path.c_str());
        if (c.before == kPlantedLink) {
            lchown(path.c_str(), xpmtest::kNobody, xpmtest::kNobody);
            chmod(dir.path().c_str(), 01777);
        }
        if (c.before == kPipe || c.before == kPipeReaderLeaves) mkfifo(path.c_str(), 0600);
        if (c.before == kPipeReaderLeaves) reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (c.nobody && c.before != kReadOnlyFile)
            chown(path.c_str(), xpmtest::kNobody, xpmtest::kNobody);
        VrHostHooks hooks{.size = sizeof(VrHostHooks), .outputFd = -1};
        Sent run{
            .format = c.format, .width = c.width, .height = c.height, .afterOpen = c.afterOpen};
        if (c.fdFlags >= 0) {
            hooks.flags = kVrHookOutputFd;
            hooks.outputFd = open(path.c_str(), c.fdFlags, 0666);
            run.hostValue = Address(hooks);
        }
        run.name = c.output.empty() || c.output[0] == '/' ? c.output : dir.file(c.output);
        if (c.nameChars != 0) run.name = path;
        if (c.output.starts_with("/dev/")) run.name = xpmtest::DeviceOrTwin(c.output, path);
        if (c.before == kPipeReaderLeaves) run.afterOpen = [](WriterHandle) { close(reader); };
        if (run.afterOpen == nullptr) {
            run.afterOpen = [](WriterHandle) {
                during = std::distance(fs::directory_iterator(watched), {});
                for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
                    struct stat info {};
                    const std::string target = fs::read_symlink(fd).string();
                    if (target.starts_with(watched + "/#") && stat(fd.path().c_str(), &info) == 0)
                        temporaryMode = int(info.st_mode & 07777);
                }
            };
        }
        const bool made = c.wantFile == "new", link = fs::is_symlink(path);
        const std::ptrdiff_t before = std::ssize(dir.Names()),
                             want = before + (made && !fs::exists(path));
        const rlimit limit{std::min(c.sizeLimit, fileSize.rlim_max), fileSize.rlim_max};
        watched = dir.path();
        during = temporaryMode = -1;
        const auto checks = [&] {
            g_refuseNewFile = c.refuse;
            if (c.tmpdir != nullptr) setenv("TMPDIR", c.tmpdir, 1);
            setrlimit(RLIMIT_FSIZE, &limit);
            const Outcome out = Drive(run);
            setrlimit(RLIMIT_FSIZE, &fileSize);
            g_refuseNewFile = 0;
            OwnedMetafile handle(reinterpret_cast<void*>(out.sink.dataHandle));
            EXPECT_EQ(std::make_tuple(out.open, out.error, handle.enhanced() || handle.windows()),
                      std::make_tuple(c.wantOpen, c.wantError, made && c.fdFlags < 0))
                << c.name << ": OutputOpen, the error, a handle";
            const std::string file = xpmtest::ReadFile(path);
            const std::vector<uint8_t> bytes(file.begin(), file.end());
            EXPECT_TRUE(made || file == c.wantFile) << c.name << ": " << file.size() << " bytes";
            // Made unreadable to others, it gets the old file's mode, or a new file's.
            struct stat info {};
            EXPECT_TRUE(!made ||
                        (stat(path.c_str(), &info) == 0 &&
                         (info.st_mode & 0777) == (c.before != kNothing ? 0640 : 0666 & ~mask) &&
                         (temporaryMode == -1 || temporaryMode == 0600)))
                << c.name << ": mode " << std::oct << info.st_mode << ", temporary "
                << temporaryMode;
            // A named file comes back as a handle too (a WMF's without the file's placeable
            // header), whose bytes stay when the file is cut short; the host's descriptor is
            // left at its end.
            const bool wmf = c.format[0] == 'W';
            EXPECT_TRUE(!made ||
                        (c.fdFlags < 0
                             ? truncate(path.c_str(), 1) == 0 && (wmf || bytes == handle.bytes())
                             : lseek(hooks.outputFd, 0, SEEK_CUR) == std::ssize(bytes)))
                << c.name << ": the handle's bytes, or the descriptor's position";
            const Shape shape = wmf ? Shape{{c.height}, 256, 17} : kFourBands;
            if (made)
                ExpectShown(out, bytes, wmf ? Kind::kWmfFile : Kind::kEmf, run, shape, c.name);
            if (made && c.fdFlags < 0 && wmf)
                ExpectShown(out, handle.bytes(), Kind::kWmfHandle, run, shape, c.name);
        };
        if (c.nobody)
            xpmtest::ExpectInChild(checks, true, c.name);
        else
            checks();
        // No temporary file is left or has a name while the picture is made (when that was
        // seen), a link stays a link.
        EXPECT_EQ(std::make_tuple(std::ssize(dir.Names()), fs::is_symlink(path),
                                  during < 0 ? before : during),
                  std::make_tuple(want, link, before))
            << c.name << ": entries after, a link, entries while it was made";
        close(hooks.outputFd);
    }
}

TEST(WriterTest, CallsThatDoNotFitAreRefused) {
    struct Case {
        const char* name;
        void (*act)(WriterHandle);
        int16_t wantCode = 0;
        bool made = false;
        const char* format = "";
    };
    using W = WriterHandle;
    // clang-format off
    const Case cases[] = {
        {.name = "complete picture", .act = [](W w) { Begin(w); Band(w, 100, 10, 4); Band(w, 100, 6, 6); BitmapEnd(w); },
         .made = true},
        {.name = "no bitmap end", .act = [](W w) { Begin(w); Band(w, 100, 10, 10); }},
        {.name = "aborted", .act = [](W w) { Begin(w); Band(w, 100, 10, 10); WriterAbort(w); BitmapEnd(w); }},
        {.name = "output opened twice", .act = [](W w) { StatusSink s{}; EXPECT_EQ(OutputOpen(w, "", "", 0, nullptr, &s), kInvalid); }},
        {.name = "band before the bitmap", .act = [](W w) { Band(w, 100, 10, 10); }, .wantCode = kInvalid},
        {.name = "band wider", .act = [](W w) { Begin(w); Band(w, 101, 10, 5); }, .wantCode = kInvalid},
        {.name = "band off the left edge", .act = [](W w) { Begin(w); Band(w, 100, 10, 5, 1); }, .wantCode = kInvalid},
        {.name = "band below", .act = [](W w) { Begin(w); Band(w, 100, 2, 5); }, .wantCode = kInvalid},
        {.name = "rows beyond the declared height", .act = [](W w) { Begin(w); Band(w, 100, 10, 6); Band(w, 100, 10, 6); },
         .wantCode = kInvalid},
        {.name = "WMF band over another", .act = [](W w) { Begin(w); Band(w, 100, 10, 5); Band(w, 100, 10, 5); BitmapEnd(w); },
         .wantCode = kInvalid, .format = "WMF"},
        {.name = "placement that disagrees with the rows", .act = [](W w) { Begin(w); Band(w, 100, 10, 10, 7, -8, 5); },
         .wantCode = kInvalid},
        {.name = "band of no rows", .act = [](W w) { Begin(w); Band(w, 100, 10, 0); }, .wantCode = kInvalid},
        {.name = "band of 4-bit pixels", .act = [](W w) { Begin(w); Band(w, 100, 10, 5, 7, -4); }, .wantCode = kInvalid},
        {.name = "bitmap of 4-bit pixels", .act = [](W w) { Begin(w, -4); }, .wantCode = kInvalid},
        {.name = "band without placement", .act = [](W w) { static const uint8_t rows[500]{}; const BitmapSize s = Size(100, 5); Begin(w); BitmapWriteBand(w, nullptr, &s, -8, 1, rows); },
         .wantCode = kInvalid},
        {.name = "bitmap without its size", .act = [](W w) { const BandPlacement p = Placement(100, 10, 10); BitmapBegin(w, &p, nullptr, -8, 0, 1, 3, 0); },
         .wantCode = kInvalid},
        {.name = "bitmap placed wider than its size", .act = [](W w) { const BandPlacement p = Placement(101, 10, 10);
         const BitmapSize s = Size(100, 10); BitmapBegin(w, &p, &s, -8, 0, 1, 3, 0); }, .wantCode = kInvalid},
        {.name = "second bitmap", .act = [](W w) { Begin(w); Begin(w); }, .wantCode = kInvalid},
        {.name = "bitmap of 65535 x 65535 pixels", .act = [](W w) { Begin(w, -8, -1, -1); }, .wantCode = kMemory},
        {.name = "unit kind 2", .act = [](W w) { SetUnits(w, 2, 0.25); }, .wantCode = kInvalid},
        {.name = "unit of 0", .act = [](W w) { SetUnits(w, 1, 0.0); }, .wantCode = kInvalid},
        {.name = "infinite unit", .act = [](W w) { SetUnits(w, 1, INFINITY); }, .wantCode = kInvalid},
        {.name = "no frame", .act = [](W w) { SetFrame(w, nullptr); }, .wantCode = kInvalid},
        {.name = "no window", .act = [](W w) { SetWindow(w, nullptr); }, .wantCode = kInvalid},
        {.name = "no entries", .act = [](W w) { SetPalette(w, 0, 3, nullptr); }, .wantCode = kInvalid},
        {.name = "bitmap end without bitmap", .act = [](W w) { BitmapEnd(w); }, .wantCode = kInvalid},
        {.name = "second picture", .act = [](W w) { PictureBegin(w, "2"); }, .wantCode = kInvalid},
        {.name = "bitmap end with rows missing", .act = [](W w) { Begin(w); Band(w, 100, 10, 5); BitmapEnd(w); },
         .wantCode = kVrErrIncomplete},
        {.name = "drawing after the picture's end", .act = [](W w) { PictureEnd(w); PictureStartDrawing(w); },
         .wantCode = kInvalid},
        {.name = "palette after the picture's end", .act = [](W w) { PictureEnd(w); SetPalette(w, 0, 0, nullptr); },
         .wantCode = kInvalid},
        {.name = "finish before the picture's end",
         .act = [](W w) { Begin(w); Band(w, 100, 10, 10); BitmapEnd(w); OutputFinish(w); }, .wantCode = kInvalid},
        {.name = "picture ended twice", .act = [](W w) { PictureEnd(w); PictureEnd(w); }, .wantCode = kInvalid},
        {.name = "finish twice", .act = [](W w) { OutputFinish(w); OutputFinish(w); }, .wantCode = kInvalid},
    };
    // clang-format on
    for (const Case& k : cases) {
        const Outcome out = Drive({.format = k.format, .colours = 1, .bitmap = k.act});
        EXPECT_EQ(out.error, (Error{k.wantCode != 0, k.wantCode, 0})) << k.name;
        // No picture: nothing of the sink's result fields is left as it was. A picture's frame
        // is the one set (1000 rows of 1/96 inch), not its bitmap's.
        OwnedMetafile handle(reinterpret_cast<void*>(out.sink.dataHandle));
        const StatusSink& s = out.sink;
        EXPECT_EQ(std::vector<int64_t>({handle.enhanced() ? I32At(handle.bytes(), 36) : 0,
                                        s.dataHandle != 0, s.bounds[0], s.bounds[1], s.bounds[2],
                                        s.bounds[3], s.unitsPerInch}),
                  k.made ? std::vector<int64_t>(
                               {std::lround(1000 * 25.4 / 96 * 100) - 1, 1, 0, 0, 100, 10, 96})
                         : std::vector<int64_t>(7, 0))
            << k.name << ": the frame's bottom, a handle, the bounds, the units per inch";
    }
}

}  // namespace
