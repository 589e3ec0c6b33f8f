// Devices handed to code that writes by name go in as twins: the same character device under a
// name in the test's own folder. Broken code that replaces the name it writes to (a rename over
// it) then replaces the twin, not the system's device, which root could otherwise replace.
#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <string>

namespace xpmtest {

// Makes `twin`, a device like `device`, and returns its name; returns `device` itself where no
// twin can be made (not root, or a folder on a file system without devices), and only root
// could replace it.
inline std::string DeviceOrTwin(const std::string& device, const std::string& twin) {
    struct stat info {};
    struct statvfs mount {};
    const std::string folder = std::filesystem::path(twin).parent_path().string();
    const bool made = ::stat(device.c_str(), &info) == 0 &&
                      ::statvfs(folder.c_str(), &mount) == 0 && (mount.f_flag & ST_NODEV) == 0 &&
                      ::mknod(twin.c_str(), S_IFCHR | 0666, info.st_rdev) == 0;
    return made ? twin : device;
}

}  // namespace xpmtest
