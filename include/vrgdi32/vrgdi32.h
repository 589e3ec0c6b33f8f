/* The graphics library: input streams, the picture writer that makes a real metafile,
 * host option sets, the import job with its status procedure, preferences and two path
 * helpers. Each operation carries the ordinal by which a filter binds it. The fixed-layout
 * records that cross between the filter, the library and the host are in
 * vrgdi32_records.h. */
#ifndef VRGDI32_VRGDI32_H
#define VRGDI32_VRGDI32_H

#include <stdint.h>

#include "vrgdi32/vrgdi32_records.h"
#include "winshim/winshim.h"

#ifdef __cplusplus
extern "C" {
#endif

/* On Windows a .def file names the exports, by ordinal only; a user imports them through the
 * import library or binds them with GetProcAddress(module, MAKEINTRESOURCEA(ordinal)). */
#if defined(_WIN32) && !defined(VRGDI32_BUILDING)
#define VRGDI32_API __declspec(dllimport)
#elif defined(VRGDI32_BUILDING) && !defined(_WIN32)
#define VRGDI32_API __attribute__((visibility("default")))
#else
#define VRGDI32_API
#endif

typedef struct VrStream* StreamHandle;
typedef struct VrWriter* WriterHandle;
typedef HGLOBAL OptionSetHandle;
typedef uint64_t ImportJobHandle;

/* ---- Ordinals ------------------------------------------------------------------------ */
enum {
    kOrdStreamOpen = 3101,
    kOrdStreamRead = 3108,
    kOrdStreamSeek = 3103,
    kOrdStreamClose = 3100,
    kOrdStreamReadFailure = 3109,
    kOrdWriterCreate = 2817,
    kOrdWriterDestroy = 2818,
    kOrdWriterSetNames = 3004,
    kOrdWriterSetOption = 259,
    kOrdWriterGetError = 2562,
    kOrdWriterAbort = 2563,
    kOrdOutputOpen = 2819,
    kOrdOutputStart = 2821,
    kOrdOutputFinish = 2822,
    kOrdOutputClose = 2820,
    kOrdPictureBegin = 3,
    kOrdPictureStartDrawing = 4,
    kOrdPictureEnd = 5,
    kOrdSetFrame = 518,
    kOrdSetUnits = 637,
    kOrdSetWindow = 639,
    kOrdSetPalette = 1314,
    kOrdBitmapBegin = 1147,
    kOrdBitmapWriteBand = 1033,
    kOrdBitmapEnd = 1146,
    kOrdOptionSetCreate = 102,
    kOrdOptionSetEscape = 110,
    kOrdDefaultStatusProc = 111,
    kOrdImportJobBegin = 113,
    kOrdImportJobEnd = 114,
    kOrdPreferencesRun = 112,
    kOrdPathGetDirectory = 2725,
    kOrdStrAppendBounded = 2721
};

/* ---- Host read routine ----------------------------------------------------------------
 * A StreamSource with a routine at offset 24 reads through it; offset 0 is handed to it
 * as userData. Protocol:
 *   routine(userData, buffer, count), count > 0: copy up to count bytes into buffer and
 *     return how many were copied; 0 means end of input; a negative value means the read
 *     failed (the stream then reports end of input): -2 to -4095 give the system's error
 *     number as the cause (-EIO), which StreamReadFailure then names. A result above count
 *     is a failure.
 *   routine(userData, NULL, 0): asked once, at open: return the total size of the input
 *     in bytes when known (so progress can be shown), or a negative value when not.
 * The routine is called on the importing thread only, never after StreamClose. It is asked
 * for no more bytes than the read being served still needs, so it is never asked for a byte
 * the reader does not take: the host may go on reading its source after the picture.
 * Seeking a routine stream: it can move back only as far as the last position reported by
 * StreamSeek(s, 0, 1); a seek to the end reads nothing and answers the advertised size, which
 * counts as a minimum (more data is still read); without a size the length is known once the
 * end has been reached. Memory stays bounded: at most 4 MiB of the bytes read since that
 * position are held in memory, older ones go to an unlinked temporary file in $TMPDIR (else
 * /tmp), created only when needed, and are read back from there after a seek back. Should no
 * such file be available, up to 64 MiB are held in memory instead. Past 256 MiB held (or those
 * 64 MiB), reads fail with kVrReadLookBackLimit: an endless input fills neither the disk nor
 * the memory. The same holds for a file path that names a pipe. */
typedef int32_t (*VrReadRoutine)(uint64_t userData, void* buffer, int32_t count);

/* ---- Host hooks -----------------------------------------------------------------------
 * A host may pass the address of this record as the first argument (hostValue) of the
 * import entry points. The library finds it through the StatusSink that OutputOpen
 * receives. Any field may be null/0. Without it the job runs silently and makes an EMF. */
typedef struct VrHostHooks {
    uint32_t size;         /* sizeof(VrHostHooks) */
    uint32_t metafileKind; /* kVrMetafileEmf (0) or kVrMetafileWmf (1) */
    void* context;         /* handed to both callbacks */
    /* Called with every progress percentage the job receives (0 to 100). */
    void (*progress)(void* context, int32_t percent);
    /* Asked at every progress call: non-zero stops the import (result 61). */
    int32_t (*shouldStop)(void* context);
    /* The fields below are read only when size covers them (a 32-byte record is the older
     * form). With kVrHookOutputFd in flags, the metafile is written to outputFd as its
     * records arrive (memory stays bounded whatever the picture's size): the descriptor is
     * open for writing, seekable and positioned at 0; the library writes from offset 0,
     * patches the header at the end, never closes or truncates it, and leaves what it wrote
     * as garbage on failure. The picture then comes back as the file only: the sink's
     * dataHandle stays 0, its bounds and unitsPerInch are filled as usual. */
    uint32_t flags;
    int32_t outputFd;
    /* Read only when size covers it (a 40-byte record is the older form). Non-zero: a picture
     * of more pixels (width x height) is refused with writer error 304 as soon as its size
     * is known, at SetFrame and again at BitmapBegin, before any of it is written or held in
     * memory. 0: no limit beyond the library's own (2^31 pixels, 2 GiB of metafile). */
    uint64_t maxPixels;
} VrHostHooks;

enum { kVrMetafileEmf = 0, kVrMetafileWmf = 1 };
enum { kVrHookOutputFd = 1 };
enum { kVrHostHooksSizeV1 = 32, kVrHostHooksSizeV2 = 40 };

/* Also, an outputSpec text (ImportEmbeddedGR's last argument, or OutputOpen's) of "WMF"
 * (any case) asks for a Windows Metafile; "EMF" or empty for an Enhanced Metafile. */

/* ---- Writer error codes ---------------------------------------------------------------
 * Set by the writer where the failure happens; read with WriterGetError. The filter turns
 * each into its result: 300 -> 27, 301 -> 23, 302 -> 14 (9 with detail 269), 303 -> 15,
 * 304 -> 19, 901 -> 61, 320 and 321 -> 26. */
enum {
    kVrErrNone = 0,
    kVrErrMemory = 300, /* also: the metafile would pass 2 GiB */
    kVrErrCannotCreate = 301,
    kVrErrWrite = 302,
    kVrErrDetailDiskFull = 269,
    /* The picture is beyond what the requested format can hold: a Windows Metafile wider
     * or taller than 32767 pixels (its coordinates are 16-bit). Set at BitmapBegin. */
    kVrErrTooLargeForFormat = 303,
    /* The picture has more pixels than the host's hooks allow (maxPixels). */
    kVrErrTooManyPixels = 304,
    kVrErrStopped = 901,
    kVrErrInvalidCall = 320, /* a call out of order or with arguments that do not fit */
    /* BitmapEnd came before every declared row was written: a picture with rows missing,
     * as a negative row count (a height below 0 sent as 16 bits) always gives, is never a
     * picture. */
    kVrErrIncomplete = 321
};

/* ---- Streams ------------------------------------------------------------------------- */
/* Opens a file (path, NULL), a memory block (NULL or path, source without routine) or the
 * host's routine (source with routine at offset 24). Returns null when it cannot open. */
VRGDI32_API StreamHandle StreamOpen(const char* path, const StreamSource* source, int32_t reserved);
/* Copies up to count bytes; returns the number delivered, 0 at end of input or on error. */
VRGDI32_API int32_t StreamRead(StreamHandle stream, void* buffer, int32_t count);
/* origin 0 start, 1 current, 2 end. Returns the new position, -1 when it cannot seek. */
VRGDI32_API int32_t StreamSeek(StreamHandle stream, int32_t offset, int32_t origin);
VRGDI32_API void StreamClose(StreamHandle stream);
/* Why the input of the last stream opened on this thread could not be read to its end: 0 when
 * no read failed; a positive value is the system's error number (EIO, ...), also when a read
 * routine gave it (-EIO); otherwise one of the kVrRead* causes below. A failed read is the end
 * of the input to the filter, so such an import fails as a file cut short does, and its job
 * ends with kVrJobReadFailed. Cleared when a stream opens and when a job begins. */
VRGDI32_API int32_t StreamReadFailure(void);
enum {
    kVrReadRoutineFailed = -1, /* the host's routine failed without a cause, or said too much */
    kVrReadLookBackLimit = -2, /* more of a forward-only input had to be held than is allowed */
    kVrReadNoMemory = -3
};

/* ---- Picture writer ------------------------------------------------------------------ */
VRGDI32_API WriterHandle WriterCreate(int32_t reserved);
VRGDI32_API void WriterDestroy(WriterHandle writer);
VRGDI32_API void WriterSetNames(WriterHandle writer, const char* name1, const char* name2,
                                const char* name3);
VRGDI32_API void WriterSetOption(WriterHandle writer, int32_t option);
/* which is 1. Sets *flag non-zero and pair[0] = code, pair[1] = detail when an error is
 * pending; otherwise *flag = 0. */
VRGDI32_API void WriterGetError(WriterHandle writer, int32_t which, uint32_t* flag,
                                int16_t pair[2]);
VRGDI32_API void WriterAbort(WriterHandle writer);

/* Where the metafile goes, written as the bands arrive (memory stays bounded):
 * - with kVrHookOutputFd in the hooks: the host's descriptor (an outputName as well is
 *   refused with 320; a descriptor that is not writable and seekable, or that appends, with
 *   301); the sink's dataHandle stays 0.
 * - a non-empty outputName of at most 259 characters (a longer one is refused with 301): a
 *   new temporary file in its directory, created 0600 (on Linux without a name until it is
 *   complete, so a killed host leaves nothing), given the final mode and put in the file's
 *   place only once the picture is complete, removed on any failure, so an existing file is
 *   never lost (301 when it cannot be made). A symbolic link is followed (its target is
 *   replaced, the link stays) unless the kernel's protected-symlinks rule would refuse it: a
 *   link in a sticky world-writable directory owned by neither the caller nor the directory's
 *   owner gives 301. A device or a pipe is written whole at the end; a pipe without a reader
 *   gives 301 at once. A regular file whose directory takes no new file is rewritten in place
 *   at the end, after its old bytes were copied to $TMPDIR and the space reserved; a failed
 *   write puts the old bytes back, and should the host die during it, the copy (a hidden
 *   file named after the output) stays there. The sink gets a metafile handle over the
 *   picture's own copy in an unnamed file in $TMPDIR, which nothing done to the named file
 *   can change.
 * - otherwise memory: one growing block that the sink's metafile handle takes over. */
VRGDI32_API int16_t OutputOpen(WriterHandle writer, const char* outputSpec, const char* outputName,
                               int32_t reserved, OptionSetHandle optionSet, StatusSink* sink);
VRGDI32_API void OutputStart(WriterHandle writer, const char* outputSpec);
VRGDI32_API void OutputFinish(WriterHandle writer);
VRGDI32_API int16_t OutputClose(WriterHandle writer);

VRGDI32_API void PictureBegin(WriterHandle writer, const char* name);
VRGDI32_API void PictureStartDrawing(WriterHandle writer);
VRGDI32_API void PictureEnd(WriterHandle writer);

VRGDI32_API void SetFrame(WriterHandle writer, const FrameRect* frame);
VRGDI32_API void SetUnits(WriterHandle writer, int16_t unitKind, double unitSize);
VRGDI32_API void SetWindow(WriterHandle writer, const FrameRect* window);
VRGDI32_API void SetPalette(WriterHandle writer, int16_t first, int16_t count,
                            const PaletteEntry* entries);
/* The filter passes format -8 (8-bit palette indices), then 0, 1, 3, 0. */
VRGDI32_API void BitmapBegin(WriterHandle writer, const BandPlacement* placement,
                             const BitmapSize* size, int16_t format, int16_t arg2, int16_t arg3,
                             int16_t arg4, int16_t arg5);
/* rows: BitmapSize.rows rows of ((width + 3) / 4) * 4 bytes, first row first. */
VRGDI32_API void BitmapWriteBand(WriterHandle writer, const BandPlacement* placement,
                                 const BitmapSize* size, int16_t format, int16_t arg,
                                 const uint8_t* rows);
VRGDI32_API void BitmapEnd(WriterHandle writer);

/* ---- Option sets --------------------------------------------------------------------- */
VRGDI32_API OptionSetHandle OptionSetCreate(int32_t a, int32_t b, int32_t c, int32_t d);
/* OptionSetEscape codes, each with the one size it takes. Returns 0, or -1 for an unknown
 * code, a wrong size, a missing buffer or a handle that is not an option set. */
enum {
    kVrOptionSet3 = 3,          /* in, 2 bytes: a fresh set's option 3 (the filter sends 0) */
    kVrOptionImportRefused = 4, /* out, 2 bytes: non-zero refuses imports; this library: 0 */
    kVrOptionQuery26 = 26,      /* out, 4 bytes: option 26, handed on to ImportJobBegin */
    kVrOptionSet40 = 40,        /* in, 1 byte: option 40 */
    kVrOptionStoreOptions = 42, /* in, 56 bytes: keeps the options block (SavedOptions) */
    kVrOptionLoadOptions = 43   /* out, 56 bytes: gives it back */
};
VRGDI32_API int32_t OptionSetEscape(OptionSetHandle set, uint32_t code, uint32_t size,
                                    const void* in, void* out, uint32_t flag);

/* ---- Import job ----------------------------------------------------------------------
 * The status protocol: a status procedure is called with a kind and a code. Kind 0 carries
 * progress: code kVrCodeProgressRange with the range (first, second), or kVrCodeProgress with
 * the percentage (first); a non-zero answer asks to stop. Kind 2 (code 61) is the stop notice
 * that follows such an answer; its own answer decides. Kind 3 reports a result code with its
 * severity class. Reports and stop notices carry a block of kVrStatusBlockWords zero words. */
enum { kVrStatusProgress = 0, kVrStatusStopNotice = 2, kVrStatusReport = 3 };
enum { kVrCodeProgress = 0, kVrCodeProgressRange = -1, kVrCodeStopped = 61 };
enum { kVrStatusBlockWords = 10 };
typedef int32_t (*VrStatusProc)(uint64_t userData, uint32_t kind, uint32_t code, uint32_t first,
                                uint32_t second, uint32_t severityClass, const uint64_t* block);

VRGDI32_API int32_t DefaultStatusProc(uint64_t job, uint32_t kind, uint32_t code, uint32_t first,
                                      uint32_t second, uint32_t severityClass,
                                      const uint64_t* block);
VRGDI32_API ImportJobHandle ImportJobBegin(HWND window, const char* title, const char* inputName,
                                           int32_t reserved, uint32_t version, uint32_t option26);
/* Ends and frees the job: the first code reported with kind 3 (kVrJobReadFailed in place of
 * -1 or -23 when a read of the input failed during the job: the filter's code then describes
 * a file cut short); else 61 when the job answered a stop notice with stop; else 0. An
 * unknown job gives 27. */
enum { kVrJobReadFailed = 30 };
VRGDI32_API int16_t ImportJobEnd(ImportJobHandle job);

/* ---- Preferences and paths ----------------------------------------------------------- */
typedef int32_t (*VrEditRoutine)(uint64_t a, uint64_t b, uint64_t c);

VRGDI32_API int32_t PreferencesRun(void* hostHandle, HGLOBAL setup, uint64_t hostValue,
                                   VrEditRoutine edit, uint32_t filterKind, const char* title);
/* Writes the directory part of path, ending with its separator ('/' or '\\'), into out
 * (260 bytes); empty when the path has no directory or the directory would not fit. */
VRGDI32_API void PathGetDirectory(char* out, const char* path);
/* Appends to dest at most roomLeft - 1 characters (roomLeft counts the bytes still free
 * after dest's text, its NUL included). An absolute source contributes its last path
 * component; a relative one is appended whole. */
VRGDI32_API void StrAppendBounded(char* dest, const char* source, int32_t roomLeft);

#ifdef __cplusplus
}

static_assert(sizeof(VrHostHooks) == 48);
static_assert(offsetof(VrHostHooks, shouldStop) + sizeof(void*) == kVrHostHooksSizeV1);
static_assert(offsetof(VrHostHooks, flags) == 32);
static_assert(offsetof(VrHostHooks, outputFd) == 36);
static_assert(offsetof(VrHostHooks, maxPixels) == kVrHostHooksSizeV2);
#endif

#endif /* VRGDI32_VRGDI32_H */
