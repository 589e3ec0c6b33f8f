// Metafile handles: SetEnhMetaFileBits/SetMetaFileBitsEx copy the bytes, the Winshim adopt
// calls take over a malloc'd block, the map calls show a file read-only; the Get calls copy
// the bytes out, Delete of the right kind ends the handle and GetObjectType tells the kinds
// apart.
#include "metafile_store.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>

#include "tagged_handles.h"
#include "winshim/winshim.h"

namespace winshim {
namespace {

// The bytes behind one handle: a malloc'd block or a read-only file mapping, released with
// the handle. Move-only.
class MetafileBytes {
  public:
    enum class Origin { kNone, kHeap, kMapping };

    MetafileBytes() = default;
    MetafileBytes(Origin origin, BYTE* data, size_t size)
        : origin_(origin), data_(data), size_(size) {}
    MetafileBytes(MetafileBytes&& other) noexcept { *this = std::move(other); }
    MetafileBytes& operator=(MetafileBytes&& other) noexcept {
        if (this == &other) return *this;
        Release();
        origin_ = other.origin_;
        data_ = other.data_;
        size_ = other.size_;
        other.origin_ = Origin::kNone;  // owns nothing now; its data and size are never read
        return *this;
    }
    MetafileBytes(const MetafileBytes&) = delete;
    MetafileBytes& operator=(const MetafileBytes&) = delete;
    ~MetafileBytes() { Release(); }

    // From now on the bytes are released with this record.
    void Own(Origin origin) { origin_ = origin; }
    [[nodiscard]] const BYTE* data() const { return data_; }
    [[nodiscard]] size_t size() const { return size_; }

  private:
    // Frees what the record owns; the callers then overwrite the record or end it.
    void Release() {
        if (origin_ == Origin::kHeap) std::free(data_);
        if (origin_ == Origin::kMapping) ::munmap(data_, size_);
    }

    Origin origin_ = Origin::kNone;
    BYTE* data_ = nullptr;
    size_t size_ = 0;
};

struct MetafileTables {
    std::mutex mutex;
    TaggedHandles<MetafileBytes> enhanced{kEnhMetafileTag};
    TaggedHandles<MetafileBytes> plain{kMetafileTag};
};

using Table = TaggedHandles<MetafileBytes> MetafileTables::*;

// Lives until the process ends, so late deletes from other libraries stay safe.
[[nodiscard]] MetafileTables& Tables() {
    static MetafileTables* tables = new MetafileTables;
    return *tables;
}

[[nodiscard]] uintptr_t ValueOf(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}

// Files bytes under a new handle, which owns them from then on. On failure (null) they
// stay their owner's: the table receives them unowned and takes them over only once the
// handle exists.
[[nodiscard]] void* Insert(Table table, MetafileBytes::Origin origin, BYTE* data, size_t size) {
    try {
        MetafileTables& tables = Tables();
        std::lock_guard<std::mutex> guard(tables.mutex);
        const uintptr_t handle =
            (tables.*table).Insert(MetafileBytes(MetafileBytes::Origin::kNone, data, size));
        (tables.*table).Find(handle)->Own(origin);
        return reinterpret_cast<void*>(handle);
    } catch (const std::bad_alloc&) {
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

[[nodiscard]] bool Usable(const void* data, UINT size) {
    if (data != nullptr && size != 0) return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

[[nodiscard]] void* Copy(Table table, UINT size, const BYTE* data) {
    if (!Usable(data, size)) return nullptr;
    auto* copy = static_cast<BYTE*>(std::malloc(size));
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memcpy(copy, data, size);
    void* handle = Insert(table, MetafileBytes::Origin::kHeap, copy, size);
    if (handle == nullptr) std::free(copy);
    return handle;
}

[[nodiscard]] void* Adopt(Table table, UINT size, BYTE* data) {
    if (!Usable(data, size)) return nullptr;
    return Insert(table, MetafileBytes::Origin::kHeap, data, size);
}

[[nodiscard]] void* Map(Table table, int fd, UINT size) {
    if (!Usable(fd < 0 ? nullptr : &fd, size)) return nullptr;
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* handle = Insert(table, MetafileBytes::Origin::kMapping, static_cast<BYTE*>(mapped), size);
    if (handle == nullptr) ::munmap(mapped, size);
    return handle;
}

// Size 0 or no buffer asks for the size; a buffer too small gets nothing.
[[nodiscard]] UINT CopyOut(Table table, void* metafile, UINT size, void* out) {
    MetafileTables& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.mutex);
    const MetafileBytes* bytes = (tables.*table).Find(ValueOf(metafile));
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

[[nodiscard]] BOOL Delete(Table table, void* metafile) {
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
    return winshim::Copy(&MetafileTables::enhanced, size, data);
}

extern "C" WINSHIM_API HENHMETAFILE WinshimAdoptEnhMetaFileBits(UINT size, BYTE* data) {
    return winshim::Adopt(&MetafileTables::enhanced, size, data);
}

extern "C" WINSHIM_API HENHMETAFILE WinshimMapEnhMetaFile(int fd, UINT size) {
    return winshim::Map(&MetafileTables::enhanced, fd, size);
}

extern "C" WINSHIM_API UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, BYTE* out) {
    return winshim::CopyOut(&MetafileTables::enhanced, metafile, size, out);
}

extern "C" WINSHIM_API BOOL DeleteEnhMetaFile(HENHMETAFILE metafile) {
    return winshim::Delete(&MetafileTables::enhanced, metafile);
}

extern "C" WINSHIM_API HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data) {
    return winshim::Copy(&MetafileTables::plain, size, data);
}

extern "C" WINSHIM_API HMETAFILE WinshimAdoptMetaFileBits(UINT size, BYTE* data) {
    return winshim::Adopt(&MetafileTables::plain, size, data);
}

extern "C" WINSHIM_API HMETAFILE WinshimMapMetaFile(int fd, UINT size) {
    return winshim::Map(&MetafileTables::plain, fd, size);
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
