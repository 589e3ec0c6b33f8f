// Windows has no per-volume sync open to every user: each written file is flushed instead.
#include "xpmimport/output/output_sync.h"

#include "winshim/winshim.h"

namespace xpmimport {

bool SyncOutputs(const std::vector<std::string>& paths, std::string* error) {
    for (const std::string& path : paths) {
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool ok = file != INVALID_HANDLE_VALUE && ::FlushFileBuffers(file);
        const DWORD code = ::GetLastError();
        if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
        if (!ok) {
            *error = "cannot sync " + path + " to the disk (error " + std::to_string(code) + ")";
            return false;
        }
    }
    return true;
}

}  // namespace xpmimport
