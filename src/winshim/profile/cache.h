// Parsed profiles kept between reads, so that reading many keys of one file reads and parses
// it once, while every read still reflects the file as it is on the disk now.
#pragma once

#include <memory>
#include <string>

#include "profile/document.h"
#include "profile/storage.h"

namespace winshim {

// The parsed text of the profile at `path`: from the cache while the file's stamp is the one
// it was parsed from, else read (LoadProfileBytes), decoded and parsed anew. Null with
// *outcome kMissing, or kFailed and *error set, when there is nothing to read.
[[nodiscard]] std::shared_ptr<const ProfileDocument> LoadProfileDocument(const std::string& path,
                                                                         LoadOutcome* outcome,
                                                                         DWORD* error);

}  // namespace winshim
