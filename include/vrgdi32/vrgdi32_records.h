/* Fixed-layout records that cross between the filter, the graphics library and the host.
 * Slots are 8 bytes; handles are 64-bit values. Layouts are checked by static asserts. */
#ifndef VRGDI32_VRGDI32_RECORDS_H
#define VRGDI32_VRGDI32_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Describes an input that is not a named file. Zero-filled, then:
 * memory:  source = address of a variable holding the locked block's address,
 *          memorySize = the block's length;
 * routine: source = the routine's userData, routine = a VrReadRoutine. */
typedef struct StreamSource {
    uint64_t source;     /* 0 */
    uint32_t memorySize; /* 8 */
    uint8_t reserved12[12];
    uint64_t routine; /* 24 */
    uint64_t reserved32;
} StreamSource;

/* The status record of one import: the filter calls the host through statusProc, and the
 * library leaves the finished picture in dataHandle, bounds and unitsPerInch. */
typedef struct StatusSink {
    uint16_t reserved0;
    uint8_t pad2[6];
    uint64_t userData;   /* 8: first argument of statusProc (the import job) */
    uint64_t statusProc; /* 16: a VrStatusProc, or 0 */
    uint64_t reserved24;
    uint64_t reserved32;
    uint64_t hostValue;   /* 40: the entry point's first argument */
    uint64_t dataHandle;  /* 48: in: input memory handle or 0; out: the picture */
    int32_t bounds[4];    /* 56: left, top, right, bottom */
    int32_t unitsPerInch; /* 72 */
    uint32_t pad76;
    uint64_t reserved80;
    uint32_t reserved88;
    uint32_t pad92;
} StatusSink;

/* One palette colour: each component in the low byte of a little-endian 32-bit slot. */
typedef struct PaletteEntry {
    uint32_t red;
    uint32_t green;
    uint32_t blue;
} PaletteEntry;

/* One coordinate: a signed 16-bit value in the first two bytes of an 8-byte slot. */
typedef struct CoordSlot {
    int16_t value;
    uint8_t unused[6];
} CoordSlot;

/* Two corners: x1, y1, x2, y2. */
typedef struct FrameRect {
    CoordSlot x1, y1, x2, y2;
} FrameRect;

/* Three points of a bitmap band: start corner P1, opposite corner P2, and P3 with the x
 * of P2 and the y of P1. */
typedef struct BandPlacement {
    CoordSlot p1x, p1y, p2x, p2y, p3x, p3y;
} BandPlacement;

typedef struct BitmapSize {
    int16_t width; /* 0 */
    uint8_t unused2[2];
    int16_t rows; /* 4 */
    uint8_t unused6[2];
} BitmapSize;

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(StreamSource) == 40, "StreamSource is 40 bytes");
static_assert(offsetof(StreamSource, source) == 0);
static_assert(offsetof(StreamSource, memorySize) == 8);
static_assert(offsetof(StreamSource, routine) == 24);
static_assert(offsetof(StreamSource, reserved32) == 32);

static_assert(sizeof(StatusSink) == 96);
static_assert(offsetof(StatusSink, userData) == 8);
static_assert(offsetof(StatusSink, statusProc) == 16);
static_assert(offsetof(StatusSink, reserved24) == 24);
static_assert(offsetof(StatusSink, reserved32) == 32);
static_assert(offsetof(StatusSink, hostValue) == 40);
static_assert(offsetof(StatusSink, dataHandle) == 48);
static_assert(offsetof(StatusSink, bounds) == 56);
static_assert(offsetof(StatusSink, unitsPerInch) == 72);
static_assert(offsetof(StatusSink, reserved80) == 80);
static_assert(offsetof(StatusSink, reserved88) == 88);

static_assert(sizeof(PaletteEntry) == 12);
static_assert(offsetof(PaletteEntry, green) == 4);
static_assert(offsetof(PaletteEntry, blue) == 8);

static_assert(sizeof(CoordSlot) == 8);
static_assert(sizeof(FrameRect) == 32);
static_assert(offsetof(FrameRect, y2) == 24);
static_assert(sizeof(BandPlacement) == 48);
static_assert(offsetof(BandPlacement, p2x) == 16);
static_assert(offsetof(BandPlacement, p3y) == 40);
static_assert(sizeof(BitmapSize) == 8);
static_assert(offsetof(BitmapSize, rows) == 4);
#endif

#endif /* VRGDI32_VRGDI32_RECORDS_H */
