// Ownership of the metafile handle an import hands back: its kind, its bytes, and its
// deletion with the call that matches its kind.
#pragma once

#include <cstdint>
#include <vector>

#include "winshim/winshim.h"

namespace xpmimport {

class OwnedMetafile {
  public:
    explicit OwnedMetafile(void* handle) : handle_(handle) {}
    ~OwnedMetafile();
    OwnedMetafile(const OwnedMetafile&) = delete;
    OwnedMetafile& operator=(const OwnedMetafile&) = delete;

    [[nodiscard]] bool enhanced() const { return GetObjectType(handle_) == OBJ_ENHMETAFILE; }
    [[nodiscard]] bool windows() const { return GetObjectType(handle_) == OBJ_METAFILE; }
    // The metafile's bytes as a file holds them; empty when the handle is neither kind.
    [[nodiscard]] std::vector<uint8_t> bytes() const;

  private:
    void* handle_;
};

}  // namespace xpmimport
