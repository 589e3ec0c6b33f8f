// Module setup and leak check shared by the fuzz targets.
#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "resources/module_instance.h"
#include "output/vrgdi32_binding.h"
#include "resources/resource_ids.h"
#include "testing/live_counts.h"
#include "winshim/winshim.h"

namespace xpmfuzz {
namespace {
WinshimCounts g_baseline{};
}  // namespace

void EnsureModuleReady() {
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE self = WinshimModuleFromAddress(reinterpret_cast<const void*>(&EnsureModuleReady));
        xpmfilter::SetModuleInstance(self);
        WinshimRegisterModuleResources(self, &xpmfilter::ModuleResources());
        xpmfilter::BindGraphicsLibrary(&xpmfilter::Vrgdi32Library());
        // Profiles are searched in the Windows directory too: keep the fuzzer's own.
        static std::string windir = "/tmp/xpmfuzz-windir-" + std::to_string(getpid());
        mkdir(windir.c_str(), 0700);
        setenv("WINDIR", windir.c_str(), 1);
        g_baseline = WinshimGetCounts();
    });
}

void CheckNothingLeft() {
    WinshimCounts now = WinshimGetCounts();
    if (now.globalBlocks != g_baseline.globalBlocks || now.globalLocks != g_baseline.globalLocks ||
        now.localBlocks != g_baseline.localBlocks || now.localLocks != g_baseline.localLocks ||
        now.metafiles != g_baseline.metafiles)
        __builtin_trap();
}

const std::string& ScratchProfilePath() {
    // Profile writes are flushed to the disk; memory-backed storage keeps that cheap. A
    // directory of our own, so that the recovery copy goes beside the profile: in a directory
    // shared by all (as /dev/shm is) it would go to the private one under $TMPDIR.
    static std::string directory;
    static const std::string path = [] {
        struct stat shm {};
        directory = stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) ? "/dev/shm/xpmfuzz-XXXXXX"
                                                                        : "/tmp/xpmfuzz-XXXXXX";
        if (mkdtemp(directory.data()) == nullptr) return std::string("/tmp/xpmfuzz-profile.ini");
        std::atexit([] { rmdir(directory.c_str()); });
        return directory + "/profile.ini";
    }();
    return path;
}

}  // namespace xpmfuzz
