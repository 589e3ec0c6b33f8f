// One syncfs per file system that received a picture.
#include "xpmimport/output/output_sync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace xpmimport {

bool SyncOutputs(const std::vector<std::string>& paths, std::string* error) {
    std::set<dev_t> synced;
    for (const std::string& path : paths) {
        // Non-blocking, so that a FIFO written into does not wait for a writer here.
        int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat info = {};
        if (fd < 0 || fstat(fd, &info) != 0) {
            *error = path + ": " + std::strerror(errno);
            if (fd >= 0) close(fd);
            return false;
        }
        // A device or FIFO got the picture written into it: a block device is flushed itself,
        // the others have nothing to sync.
        bool ok = S_ISBLK(info.st_mode)    ? fsync(fd) == 0
                  : !S_ISREG(info.st_mode) ? true
                                           : synced.count(info.st_dev) != 0 || syncfs(fd) == 0;
        int syncError = errno;
        close(fd);
        if (!ok) {
            *error = "cannot sync " + path + " to the disk: " + std::strerror(syncError);
            return false;
        }
        if (S_ISREG(info.st_mode)) synced.insert(info.st_dev);
    }
    return true;
}

}  // namespace xpmimport
