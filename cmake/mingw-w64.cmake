# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
# The -posix compilers: GCC 12's default win32 thread model has no std::mutex or std::thread.
# Tests run under Wine; see scripts/test-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(XPMFILTER_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${XPMFILTER_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${XPMFILTER_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${XPMFILTER_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${XPMFILTER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Without -static every DLL and EXE needs libstdc++, libgcc and libwinpthread beside it,
# and Wine exits 53 without a word when one is missing.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all,err+module WINEDLLOVERRIDES=mscoree,mshtml=d
    DISPLAY= /usr/lib/wine/wine64)
