// Fuzz target: an arbitrary profile file read by CreateSetup (profile location, section
// choice, colour and font tables) and by the profile functions directly.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "xpmfilter/xpmfilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xpmfuzz::EnsureModuleReady();
    const std::string& path = xpmfuzz::ScratchProfilePath();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    HGLOBAL setup = CreateSetup(nullptr, path.c_str(), nullptr, nullptr);
    if (setup != nullptr) {
        uint32_t mode = 2;
        EscapeSetup(setup, 55, 4, &mode, nullptr, 1);  // writes the profile back
        DestroySetup(setup);
    }
    char buffer[64];
    GetPrivateProfileStringA("rondo", "~Mode", "d", buffer, sizeof buffer, path.c_str());
    char driver[64];
    GetPrivateProfileStringA(buffer, "Driver", "d", driver, sizeof driver, path.c_str());
    GetPrivateProfileIntA("rondo", "~Mode", 7, path.c_str());
    std::remove(path.c_str());
    xpmfuzz::CheckNothingLeft();
    return 0;
}
