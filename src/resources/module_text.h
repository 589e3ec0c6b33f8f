/* The module's string table and version texts: the one list that both the Windows resource
 * script (xpmfilter.rc) and the table registered on POSIX (module_resources.cpp) are made
 * from. Plain preprocessor definitions, since the resource compiler reads this file too.
 * XPMFILTER_STRINGS(X) calls X(identifier, number, text) once per string. */
#ifndef XPMFILTER_RESOURCES_MODULE_TEXT_H
#define XPMFILTER_RESOURCES_MODULE_TEXT_H

#define XPMFILTER_STRINGS(X)                          \
    X(kStrModeKey, 1, "~Mode")                        \
    X(kStrDriverKey, 4, "Driver")                     \
    X(kStrColorTableSourceKey, 5, "ColorTableSource") \
    X(kStrFontKey, 7, "Font")                         \
    X(kStrColorKey, 8, "Color")                       \
    X(kStrFileValue, 9, "FILE")                       \
    X(kStrColorModeKey, 5064, "Color Mode")           \
    X(kStrTitle, 5112, "XPM Import")

#if defined(_WIN32)
#define XPMFILTER_MODULE_FILE "xpmfilter.dll"
#else
#define XPMFILTER_MODULE_FILE "libxpmfilter.so"
#endif

/* XPMFILTER_VERSION_STRINGS(X) calls X(key, value) once per version string. */
#define XPMFILTER_VERSION_STRINGS(X)                  \
    X("CompanyName", "xpmfilter developers")          \
    X("FileDescription", "XPM graphic import filter") \
    X("FileVersion", "8.5.3.0")                       \
    X("InternalName", "xpmfilter")                    \
    X("OriginalFilename", XPMFILTER_MODULE_FILE)      \
    X("ProductName", "xpmfilter")                     \
    X("ProductVersion", "8.5.3.0")                    \
    X("FilterDefinitions", "XPM Format,0,.XPM")

/* The fixed file version, most significant part first. */
#define XPMFILTER_FILE_VERSION 8, 5, 3, 0

#endif /* XPMFILTER_RESOURCES_MODULE_TEXT_H */
