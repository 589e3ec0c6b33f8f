// Metafile handles: SetEnhMetaFileBits/SetMetaFileBitsEx copy the bytes, the Get calls copy
// them out, Delete of the right kind ends the handle and GetObjectType tells the kinds apart.
#include "metafile_store.h"

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "handle_table.h"
#include "winshim/winshim.h"

namespace winshim {
namespace {

using Bytes = std::vector<BYTE>;

struct MetafileTables {
    std::mutex mutex;
    HandleTable<Bytes> enhanced{kEnhMetafileTag};
    HandleTable<Bytes> plain{kMetafileTag};
};

// Lives until the process ends, so late deletes from other libraries stay safe.
[[nodiscard]] MetafileTables& Tables() {
    static MetafileTables* tables = new MetafileTables;
    return *tables;
}

[[nodiscard]] uintptr_t ValueOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

[[nodiscard]] void* Store(HandleTable<Bytes> MetafileTables::*table, UINT size, const BYTE* data) {
    if (data == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        Bytes bytes(data, data + size);
        MetafileTables& tables = Tables();
        std::lock_guard<std::mutex> guard(tables.mutex);
        uintptr_t handle = (tables.*table).Insert(std::move(bytes));
        if (handle == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        return reinterpret_cast<void*>(handle);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// Size 0 or no buffer asks for the size; a buffer too small gets nothing.
[[nodiscard]] UINT CopyOut(HandleTable<Bytes> MetafileTables::*table, void* metafile, UINT size,
                           void* out) {
    MetafileTables& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.mutex);
    const Bytes* bytes = (tables.*table).Find(ValueOf(metafile));
    if (bytes == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const UINT needed = static_cast<UINT>(bytes->size());
    if (size == 0 || out == nullptr) return needed;
    if (size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, bytes->data(), needed);
    return needed;
}

[[nodiscard]] BOOL Delete(HandleTable<Bytes> MetafileTables::*table, void* metafile) {
    MetafileTables& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.mutex);
    if (!(tables.*table).Erase(ValueOf(metafile))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

uint64_t LiveMetafileCount() {
    MetafileTables& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.mutex);
    return tables.enhanced.LiveCount() + tables.plain.LiveCount();
}

}  // namespace winshim

using winshim::MetafileTables;

extern "C" WINSHIM_API HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data) {
    return winshim::Store(&MetafileTables::enhanced, size, data);
}

extern "C" WINSHIM_API UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, BYTE* out) {
    return winshim::CopyOut(&MetafileTables::enhanced, metafile, size, out);
}

extern "C" WINSHIM_API BOOL DeleteEnhMetaFile(HENHMETAFILE metafile) {
    return winshim::Delete(&MetafileTables::enhanced, metafile);
}

extern "C" WINSHIM_API HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data) {
    return winshim::Store(&MetafileTables::plain, size, data);
}

extern "C" WINSHIM_API UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID out) {
    return winshim::CopyOut(&MetafileTables::plain, metafile, size, out);
}

extern "C" WINSHIM_API BOOL DeleteMetaFile(HMETAFILE metafile) {
    return winshim::Delete(&MetafileTables::plain, metafile);
}

extern "C" WINSHIM_API DWORD GetObjectType(HGDIOBJ object) {
    MetafileTables& tables = winshim::Tables();
    std::lock_guard<std::mutex> guard(tables.mutex);
    uintptr_t value = winshim::ValueOf(object);
    if (tables.enhanced.Find(value) != nullptr) return OBJ_ENHMETAFILE;
    if (tables.plain.Find(value) != nullptr) return OBJ_METAFILE;
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}
