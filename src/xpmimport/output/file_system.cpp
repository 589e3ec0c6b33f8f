// The file operations that are the same on both systems.
#include "xpmimport/output/file_system.h"

#include "winshim/winshim.h"

namespace xpmimport {

std::string TemporaryDirectory() {
    std::string path(::GetTempPathA(0, nullptr), '\0');
    const DWORD length = ::GetTempPathA(static_cast<DWORD>(path.size()), path.data());
    if (length == 0 || length >= path.size()) return ".";
    path.resize(length);
    while (path.size() > 1 && PathSeparators().find(path.back()) != std::string_view::npos)
        path.pop_back();
    return path;
}

}  // namespace xpmimport
