/* The XPM import filter as a host sees it: the twelve exported calls and the records that
 * cross to the host. Load libxpmfilter.so, check its "FilterDefinitions" version string
 * ("XPM Format,0,.XPM") and call these by name. */
#ifndef XPMFILTER_XPMFILTER_H
#define XPMFILTER_XPMFILTER_H

#include <stddef.h>
#include <stdint.h>

#include "vrgdi32/vrgdi32.h"
#include "winshim/winshim.h"

#ifdef __cplusplus
extern "C" {
#endif

/* On Windows a .def file names the exports. */
#if defined(XPMFILTER_BUILDING) && !defined(_WIN32)
#define XPMFILTER_API __attribute__((visibility("default")))
#else
#define XPMFILTER_API
#endif

/* The options block exchanged whole with the host's option set. */
typedef struct SavedOptions {
    uint64_t ioRoutine;  /* 0: a VrReadRoutine; non-zero makes imports read through it */
    uint64_t byteOption; /* 8 */
    uint8_t hostData16[32];
    uint32_t colorMode; /* 48: "Color Mode", 0, 1 or 2 */
    uint8_t hostData52[4];
} SavedOptions;

/* What ImportFile receives as its last argument. */
typedef struct ImportRequest {
    uint16_t reserved0;
    uint8_t pad2[6];
    HGLOBAL setup;             /* 8: the setup record */
    OptionSetHandle optionSet; /* 16 */
    const char* names[3];      /* 24, 32, 40: texts of at most 259 characters, or null */
    StatusSink* statusSink;    /* 48 */
    uint64_t ioUserData;       /* 56: handed to the read routine */
    uint32_t reserved64;
    uint32_t pad68;
} ImportRequest;

/* The host's description of the input. */
typedef struct SourceSpec {
    uint64_t hostData; /* 0: not read by the filter */
    HGLOBAL memory;    /* 8: the whole input in global memory; used when path is empty */
    char path[8192];   /* 16 */
} SourceSpec;

/* Receives the picture. */
typedef struct PictureResult {
    void* picture;        /* 0: HENHMETAFILE or HMETAFILE; null after a failed import */
    int32_t bounds[4];    /* 8: left, top, right, bottom */
    int32_t unitsPerInch; /* 24 */
    uint32_t pad28;
} PictureResult;

/* The host's size-prefixed record of file information; the filter fills items 3 and 4. */
typedef struct FileInfoRecord {
    int32_t size; /* 0: declared size, 1 to 64 */
    uint32_t reserved4;
    double item1;       /* 8 */
    int32_t imageWidth; /* 16: item 3 */
    uint32_t reserved20;
    double item2;        /* 24 */
    int32_t imageHeight; /* 32: item 4 */
    int32_t item5;       /* 36 */
    int32_t item6;       /* 40 */
    int32_t item7;       /* 44 */
    int32_t item8;       /* 48 */
    int32_t item9;       /* 52 */
    uint32_t validItems; /* 56: bit (item - 1) for each item filled */
    uint32_t reserved60;
} FileInfoRecord;

/* ---- Results -------------------------------------------------------------------------
 * What ImportFile returns, and what the import job is told; 0 is success, 61 always means that
 * the host asked the import to stop. The writer's own codes never reach a host: each maps to
 * one of these. */
enum {
    kXpmOk = 0,
    kXpmUndecodable = -1,    /* colour definitions or pixel rows that cannot be decoded */
    kXpmSetupNotLocked = -7, /* a setup record (or its handle) that cannot be used */
    kXpmNotXpm = -23,        /* not XPM text, or a colour that cannot be read */
    kXpmCannotOpenInput = 7,
    kXpmDiskFull = 9,              /* writer code 302 with detail 269 */
    kXpmWriterCodes21To26 = 12,    /* writer codes 21 to 26 */
    kXpmWriterCodes161To166 = 13,  /* writer codes 161 to 166 */
    kXpmWriteFailed = 14,          /* writer code 302, any other detail */
    kXpmTooLargeForFormat = 15,    /* writer code 303 */
    kXpmWriterCodes304And305 = 19, /* writer codes 304 (more pixels than the host allows), 305 */
    kXpmCannotCreateOutput = 23,   /* writer code 301, or an ImportFile output name over 259 */
    kXpmWriterCode168 = 25,        /* writer code 168 */
    kXpmWriterFailed = 26,         /* any other writer code */
    kXpmNoMemory = 27,     /* memory, a picture writer, or a width outside 1 to 32768; writer 300 */
    kXpmStopped = 61,      /* the host answered stop, or writer code 901 */
    kXpmWriterCode20 = 65, /* writer code 20 */
    kXpmInfoItemAbsent = 17921,    /* file information, internal: no room for the item */
    kXpmInfoValueRefused = 17922,  /* file information: a width or height not stored */
    kXpmInfoBadRecordSize = 17923, /* file information: a declared size outside 1 to 64 */
    kImportNoOptionSet = 5315,     /* no option set, or the setup record could not be made */
    kImportRefused = 5355          /* the option set's query 4 answered non-zero */
};

/* EscapeSetup codes the filter acts on itself; every other code goes on to the option set. */
enum {
    kXpmEscapeColorMode = 55,   /* data: a uint32_t 0, 1 or 2; flag: also write the profile */
    kXpmEscapeReadRoutine = 81, /* size 8: data itself becomes SavedOptions.ioRoutine */
    kXpmEscapeByteOption = 82   /* size 8: the byte at data becomes SavedOptions.byteOption */
};

/* The most characters per pixel a picture may have: a pixel code of 0 to 39 characters. */
enum { kXpmMaxCharsPerPixel = 39 };

/* ---- Exports ------------------------------------------------------------------------- */
/* Imports from source->path, or from source->memory when the path is empty. Returns the
 * 16-bit result (widened without sign): 0 with result->picture set, or a failure with
 * result->picture null. optionSet may be null. hostValue may point to a VrHostHooks. */
XPMFILTER_API uint32_t ImportGR(void* hostValue, const SourceSpec* source, PictureResult* result,
                                OptionSetHandle optionSet);
/* As ImportGR; a non-null ioRoutine (a VrReadRoutine) makes the import read through it,
 * called with ioUserData. */
XPMFILTER_API uint32_t ImportCB(void* hostValue, const SourceSpec* source, PictureResult* result,
                                OptionSetHandle optionSet, uint64_t ioUserData,
                                VrReadRoutine ioRoutine);
/* Imports from source->path with the host's option set (required). The 16-bit result is
 * widened with sign. outputSpec may be null. */
XPMFILTER_API int32_t ImportEmbeddedGR(void* hostValue, const SourceSpec* source,
                                       PictureResult* result, OptionSetHandle optionSet,
                                       uint32_t length, const char* outputSpec);
/* Runs one import on a setup record of the caller's; returns the driver's result. */
XPMFILTER_API int32_t ImportFile(uint64_t reserved, const char* outputName, const char* outputSpec,
                                 const char* sourcePath, ImportRequest* request);

/* The preferences' edit routine (GetFilterPref hands it to the library): reads none of its
 * arguments and returns 0. */
XPMFILTER_API int32_t EditSetup(uint64_t a, uint64_t b, uint64_t c);
/* Frees a setup record made by CreateSetup. Returns 0, or -7 (nothing freed) when the handle
 * cannot be locked. */
XPMFILTER_API int32_t DestroySetup(HGLOBAL setup);
/* Changes one option of a setup record, or of an option set (its stored SavedOptions block is
 * loaded, changed and stored back). code 55: the colour mode, a uint32_t at data (0 to 2; with
 * flag non-zero also written to the record's profile as "Color Mode"); 81: data is the read
 * routine (size 8); 82: the byte at data becomes byteOption (size 8); any other code goes to
 * OptionSetEscape (include/vrgdi32/vrgdi32.h) with size, data, extra and flag. Returns 0, the
 * passed-on call's result, or -7 when the handle cannot be locked. A null handle does nothing
 * and returns 0. */
XPMFILTER_API int32_t EscapeSetup(HGLOBAL handle, uint32_t code, int32_t size, void* data,
                                  void* extra, uint32_t flag);
/* Makes a setup record (a movable global memory block, unlocked; the caller frees it with
 * DestroySetup) and fills its settings from a profile: profile when given, else
 * libxpmfilter.INI beside the module, else in the Windows directory ($WINDIR, else /etc);
 * from its section `section`, or, when that is null, the one its "~Mode" key in [rondo]
 * names. Without a profile the defaults hold. Returns null when memory runs out or the
 * profile's section has no "Driver" value. instance and reserved are not read. */
XPMFILTER_API HGLOBAL CreateSetup(HINSTANCE instance, const char* profile, const char* section,
                                  void* reserved);

/* Makes a new option set holding the filter's default options (option 3 set to 0, the
 * SavedOptions block of a fresh setup record, so the profile's "Color Mode", then option 40
 * set to 255) and stores its handle through optionSet. Returns 2 when the set was made, else
 * 0 with *optionSet null; a null optionSet makes nothing and returns 0. The set is the
 * host's: it hands it to the imports and frees it with GlobalFree (the filter never does).
 * The other arguments are not read. */
XPMFILTER_API uint16_t GetFilterInfo(uint16_t unused1, uint64_t unused2, OptionSetHandle* optionSet,
                                     uint64_t unused4);
/* Runs the graphics library's preferences over a temporary setup record (title "XPM Import",
 * EditSetup as the edit routine); on POSIX the library shows nothing, calls the routine once
 * and returns. Does nothing when hostHandle is null. hostValue is handed to the library. */
XPMFILTER_API void GetFilterPref(uint64_t unused1, uint64_t hostValue, void* hostHandle,
                                 uint16_t unused4);
/* The filter's version: 0x08000005 (8 in the top byte, 5 in the low bits; file version
 * 8.5.3.0). */
XPMFILTER_API uint32_t QVTGetFilterVersion(void);

/* Width and height of an XPM image without importing it. handle: with a routine, its user
 * data; without, a global memory handle holding the input, used when path is empty. */
XPMFILTER_API int32_t GetFileInfo(const char* path, FileInfoRecord* record, uint64_t handle,
                                  VrReadRoutine routine);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(SavedOptions) == 56);
static_assert(offsetof(SavedOptions, ioRoutine) == 0);
static_assert(offsetof(SavedOptions, byteOption) == 8);
static_assert(offsetof(SavedOptions, hostData16) == 16);
static_assert(offsetof(SavedOptions, colorMode) == 48);
static_assert(offsetof(SavedOptions, hostData52) == 52);

static_assert(sizeof(ImportRequest) == 72);
static_assert(offsetof(ImportRequest, setup) == 8);
static_assert(offsetof(ImportRequest, optionSet) == 16);
static_assert(offsetof(ImportRequest, names) == 24);
static_assert(offsetof(ImportRequest, statusSink) == 48);
static_assert(offsetof(ImportRequest, ioUserData) == 56);
static_assert(offsetof(ImportRequest, reserved64) == 64);

static_assert(offsetof(SourceSpec, memory) == 8);
static_assert(offsetof(SourceSpec, path) == 16);
static_assert(sizeof(SourceSpec) == 16 + 8192);

static_assert(offsetof(PictureResult, picture) == 0);
static_assert(offsetof(PictureResult, bounds) == 8);
static_assert(offsetof(PictureResult, unitsPerInch) == 24);

static_assert(sizeof(FileInfoRecord) == 64);
static_assert(offsetof(FileInfoRecord, item1) == 8);
static_assert(offsetof(FileInfoRecord, imageWidth) == 16);
static_assert(offsetof(FileInfoRecord, item2) == 24);
static_assert(offsetof(FileInfoRecord, imageHeight) == 32);
static_assert(offsetof(FileInfoRecord, item5) == 36);
static_assert(offsetof(FileInfoRecord, item8) == 48);
static_assert(offsetof(FileInfoRecord, item9) == 52);
static_assert(offsetof(FileInfoRecord, validItems) == 56);
#endif

#endif /* XPMFILTER_XPMFILTER_H */
