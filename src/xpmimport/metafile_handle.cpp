// Reading and deleting a metafile handle.
#include "xpmimport/metafile_handle.h"

namespace xpmimport {

MetafileHandle::~MetafileHandle() {
    if (handle_ == nullptr) return;
    if (enhanced()) {
        DeleteEnhMetaFile(handle_);
    } else {
        DeleteMetaFile(handle_);
    }
}

std::vector<uint8_t> MetafileHandle::bytes() const {
    std::vector<uint8_t> data;
    if (enhanced()) {
        UINT size = GetEnhMetaFileBits(handle_, 0, nullptr);
        data.resize(size);
        if (size != 0 && GetEnhMetaFileBits(handle_, size, data.data()) != size) data.clear();
    } else if (windows()) {
        UINT size = GetMetaFileBitsEx(handle_, 0, nullptr);
        data.resize(size);
        if (size != 0 && GetMetaFileBitsEx(handle_, size, data.data()) != size) data.clear();
    }
    return data;
}

}  // namespace xpmimport
