/* The small Win32 subset that the filter, the graphics library and hosts need, on POSIX.
 * On Windows this header is replaced by <windows.h>; names, types and behaviour follow
 * the Win32 calls they stand for. One shared object per process (handles cross modules).
 * Every call is thread-safe. */
#ifndef WINSHIM_WINSHIM_H
#define WINSHIM_WINSHIM_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
/* user32's FrameRect function would hide the library's FrameRect record: it is declared
 * under another name, which nothing here calls. */
#define FrameRect Win32FrameRect
#include <windows.h>
#undef FrameRect
#else

#ifdef __cplusplus
extern "C" {
#endif

#if defined(WINSHIM_BUILDING)
#define WINSHIM_API __attribute__((visibility("default")))
#else
#define WINSHIM_API
#endif

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef int32_t INT;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uintptr_t SIZE_T;
typedef int HFILE;

typedef void* HANDLE;
typedef void* HGLOBAL;
typedef void* HLOCAL;
typedef void* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef void* HWND;
typedef void* HENHMETAFILE;
typedef void* HMETAFILE;
typedef void* HGDIOBJ;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND 0x0042u
#define GMEM_DISCARDED 0x4000u
#define GMEM_INVALID_HANDLE 0x8000u
#define GMEM_LOCKCOUNT 0x00FFu
#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND 0x0042u
#define LPTR 0x0040u

#define NO_ERROR 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_DATA 13u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_DISCARDED 157u
#define ERROR_NOT_LOCKED 158u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_MORE_DATA 234u
#define ERROR_NOACCESS 998u

#define OF_READ 0x0000u
#define OF_EXIST 0x4000u
#define HFILE_ERROR ((HFILE)-1)
#define OFS_MAXPATHNAME 128
#define MAX_PATH 260

#define OBJ_METADC 4u
#define OBJ_METAFILE 9u
#define OBJ_ENHMETADC 12u
#define OBJ_ENHMETAFILE 13u

typedef struct _OFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT;

/* Last error, per thread. */
WINSHIM_API DWORD GetLastError(void);
WINSHIM_API void SetLastError(DWORD error);

/* Movable and fixed global memory. Handles of movable blocks are opaque values checked
 * against a table: a stale, freed or invented handle is refused (null lock, failure
 * result, ERROR_INVALID_HANDLE), never dereferenced. */
WINSHIM_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
WINSHIM_API LPVOID GlobalLock(HGLOBAL mem);
WINSHIM_API BOOL GlobalUnlock(HGLOBAL mem);
WINSHIM_API HGLOBAL GlobalFree(HGLOBAL mem);
WINSHIM_API SIZE_T GlobalSize(HGLOBAL mem);
WINSHIM_API UINT GlobalFlags(HGLOBAL mem);

/* Local memory: the same rules, for scratch arrays. */
WINSHIM_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
WINSHIM_API LPVOID LocalLock(HLOCAL mem);
WINSHIM_API BOOL LocalUnlock(HLOCAL mem);
WINSHIM_API HLOCAL LocalFree(HLOCAL mem);

/* Private profile (INI) files. A bare file name (no '/' or '\\') means the Windows
 * directory. Reads need both app and key (no name lists). Writes keep every other line;
 * concurrent writers are serialised by a file lock. */
WINSHIM_API DWORD GetPrivateProfileStringA(LPCSTR app, LPCSTR key, LPCSTR defaultValue, LPSTR out,
                                           DWORD size, LPCSTR fileName);
WINSHIM_API UINT GetPrivateProfileIntA(LPCSTR app, LPCSTR key, INT defaultValue, LPCSTR fileName);
WINSHIM_API BOOL WritePrivateProfileStringA(LPCSTR app, LPCSTR key, LPCSTR value, LPCSTR fileName);

/* Files, modules, directories. OpenFile supports OF_EXIST only (and OF_READ as a plain
 * existence test); a bare name is searched as Windows does. */
WINSHIM_API HFILE OpenFile(LPCSTR fileName, OFSTRUCT* info, UINT style);
WINSHIM_API DWORD GetModuleFileNameA(HMODULE module, LPSTR out, DWORD size);
/* The WINDIR environment variable when set, else "/etc". */
WINSHIM_API UINT GetWindowsDirectoryA(LPSTR out, UINT size);
/* The directory for temporary files, ending with '/': the TMPDIR environment variable when it
 * is an absolute path, else "/tmp". */
WINSHIM_API DWORD GetTempPathA(DWORD size, LPSTR out);

/* Resources. A module registers its string table and version strings when it loads
 * (its instance handle is the base address of the loaded object, as on Windows). */
typedef struct WinshimStringResource {
    UINT id;
    const char* text;
} WinshimStringResource;

typedef struct WinshimVersionString {
    const char* key;
    const char* value;
} WinshimVersionString;

typedef struct WinshimModuleResources {
    const WinshimStringResource* strings;
    size_t stringCount;
    const WinshimVersionString* versionStrings;
    size_t versionStringCount;
    /* Fixed file version, most significant part first (8.5.3.0 is {8, 5, 3, 0}). */
    WORD fileVersion[4];
} WinshimModuleResources;

WINSHIM_API BOOL WinshimRegisterModuleResources(HMODULE module,
                                                const WinshimModuleResources* resources);
WINSHIM_API void WinshimUnregisterModuleResources(HMODULE module);
/* The module (base address) that holds code or data at the given address; null if none. */
WINSHIM_API HMODULE WinshimModuleFromAddress(const void* address);
/* A registered module's version string, as VerQueryValue on "\\StringFileInfo\\040904E4\\key"
 * would give it. Returns the length copied (without the NUL), or 0 when the module or key
 * is unknown. The text is cut to size - 1 characters. */
WINSHIM_API UINT WinshimQueryVersionString(HMODULE module, LPCSTR key, LPSTR out, UINT size);
/* A registered module's fixed file version; FALSE when the module is unknown. */
WINSHIM_API BOOL WinshimQueryFileVersion(HMODULE module, WORD version[4]);

WINSHIM_API int LoadStringA(HINSTANCE instance, UINT id, LPSTR out, int size);
WINSHIM_API int wsprintfA(LPSTR out, LPCSTR format, ...);
WINSHIM_API HWND GetActiveWindow(void);

/* Metafile handles: the bytes of a finished metafile behind an opaque handle. */
WINSHIM_API HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data);
WINSHIM_API UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, BYTE* out);
WINSHIM_API BOOL DeleteEnhMetaFile(HENHMETAFILE metafile);
WINSHIM_API HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data);
WINSHIM_API UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID out);
WINSHIM_API BOOL DeleteMetaFile(HMETAFILE metafile);
WINSHIM_API DWORD GetObjectType(HGDIOBJ object);
/* Not in Win32: handles over bytes that are not copied. The adopt calls take over a block
 * from malloc (freed with the handle); the map calls show the first `size` bytes of the
 * open file fd read-only (the descriptor may be closed afterwards; the file must not
 * shrink while the handle lives). On failure they return null and the block or file stays
 * the caller's. */
WINSHIM_API HENHMETAFILE WinshimAdoptEnhMetaFileBits(UINT size, BYTE* data);
WINSHIM_API HMETAFILE WinshimAdoptMetaFileBits(UINT size, BYTE* data);
WINSHIM_API HENHMETAFILE WinshimMapEnhMetaFile(int fd, UINT size);
WINSHIM_API HMETAFILE WinshimMapMetaFile(int fd, UINT size);

#ifdef __cplusplus
}
#endif

#endif /* !_WIN32 */
#endif /* WINSHIM_WINSHIM_H */
