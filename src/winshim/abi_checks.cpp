// Layout checks for the records of the Win32 subset that cross module boundaries.
#include <cstddef>

#include "winshim/winshim.h"

static_assert(sizeof(OFSTRUCT) == 136);
static_assert(offsetof(OFSTRUCT, cBytes) == 0);
static_assert(offsetof(OFSTRUCT, fFixedDisk) == 1);
static_assert(offsetof(OFSTRUCT, nErrCode) == 2);
static_assert(offsetof(OFSTRUCT, Reserved1) == 4);
static_assert(offsetof(OFSTRUCT, Reserved2) == 6);
static_assert(offsetof(OFSTRUCT, szPathName) == 8);

static_assert(sizeof(WinshimStringResource) == 16);
static_assert(offsetof(WinshimStringResource, id) == 0);
static_assert(offsetof(WinshimStringResource, text) == 8);

static_assert(sizeof(WinshimVersionString) == 16);
static_assert(offsetof(WinshimVersionString, key) == 0);
static_assert(offsetof(WinshimVersionString, value) == 8);

static_assert(sizeof(WinshimModuleResources) == 40);
static_assert(offsetof(WinshimModuleResources, strings) == 0);
static_assert(offsetof(WinshimModuleResources, stringCount) == 8);
static_assert(offsetof(WinshimModuleResources, versionStrings) == 16);
static_assert(offsetof(WinshimModuleResources, versionStringCount) == 24);
static_assert(offsetof(WinshimModuleResources, fileVersion) == 32);

// Handles are pointer-sized opaque values.
static_assert(sizeof(HGLOBAL) == sizeof(uintptr_t));
static_assert(sizeof(HFILE) == 4);
