// Reading and deleting a metafile handle.
#include "xpmimport/metafile_handle.h"

namespace xpmimport {

MetafileHandle::~MetafileHandle() {
    if (handle_ == nullptr) return;
    if (enhanced()) {
        DeleteEnhMetaFile(static_cast<HENHMETAFILE>(handle_));
    } else {
        DeleteMetaFile(static_cast<HMETAFILE>(handle_));
    }
}

std::vector<uint8_t> MetafileHandle::bytes() const {
    std::vector<uint8_t> data;
    if (enhanced()) {
        UINT size = GetEnhMetaFileBits(static_cast<HENHMETAFILE>(handle_), 0, nullptr);
        data.resize(size);
        if (size != 0 && GetEnhMetaFileBits(static_cast<HENHMETAFILE>(handle_), size, data.data()) != size) data.clear();
    } else if (windows()) {
        UINT size = GetMetaFileBitsEx(static_cast<HMETAFILE>(handle_), 0, nullptr);
        data.resize(size);
        if (size != 0 && GetMetaFileBitsEx(static_cast<HMETAFILE>(handle_), size, data.data()) != size) data.clear();
    }
    return data;
}

}  // namespace xpmimport
