// Reading and deleting a metafile handle.
#include "xpmimport/import/owned_metafile.h"

namespace xpmimport {

OwnedMetafile::~OwnedMetafile() {
    if (handle_ == nullptr) return;
    if (enhanced()) {
        DeleteEnhMetaFile(static_cast<HENHMETAFILE>(handle_));
    } else {
        DeleteMetaFile(static_cast<HMETAFILE>(handle_));
    }
}

std::vector<uint8_t> OwnedMetafile::bytes() const {
    std::vector<uint8_t> data;
    if (enhanced()) {
        const auto metafile = static_cast<HENHMETAFILE>(handle_);
        UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
        data.resize(size);
        if (size != 0 && GetEnhMetaFileBits(metafile, size, data.data()) != size) data.clear();
    } else if (windows()) {
        const auto metafile = static_cast<HMETAFILE>(handle_);
        UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
        data.resize(size);
        if (size != 0 && GetMetaFileBitsEx(metafile, size, data.data()) != size) data.clear();
    }
    return data;
}

}  // namespace xpmimport
