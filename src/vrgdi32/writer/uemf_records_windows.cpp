// The six libUEMF record builders that the metafile layouts use, for Windows, where libUEMF
// is not available as a library (its text routines need iconv). Each fills its record with
// the same bytes as libUEMF 0.2.8 and returns it in a block from malloc, or null; only the
// arguments the layouts pass are supported (no description, pixel format, palette or
// placeable size). The record layouts come from libUEMF's own headers.
#include <cstdlib>
#include <cstring>

#include <uemf.h>
#include <uwmf.h>

namespace {

constexpr uint16_t kWmfSetWindowOrg = 0x020B;
constexpr uint16_t kWmfSetWindowExt = 0x020C;
constexpr uint16_t kWmfEof = 0x0000;

// A WMF record head: its size in 16-bit words, then its function number.
char* WmfRecord(uint16_t function, std::size_t argumentBytes, const void* arguments) {
    const std::size_t bytes = U_SIZE_METARECORD + argumentBytes;
    auto* record = static_cast<char*>(std::malloc(bytes));
    if (record == nullptr) return nullptr;
    const uint32_t words = static_cast<uint32_t>(bytes / 2);
    std::memcpy(record, &words, sizeof words);
    std::memcpy(record + 4, &function, sizeof function);
    if (argumentBytes != 0) std::memcpy(record + U_SIZE_METARECORD, arguments, argumentBytes);
    return record;
}

// Window origin and extent take y first.
char* WmfPointRecord(uint16_t function, U_POINT16 point) {
    const int16_t arguments[2] = {point.y, point.x};
    return WmfRecord(function, sizeof arguments, arguments);
}

}  // namespace

extern "C" {

char* U_EMRHEADER_set(const U_RECTL rclBounds, const U_RECTL rclFrame,
                      U_PIXELFORMATDESCRIPTOR* const pfmtDesc, U_CBSTR nDesc,
                      uint16_t* const Description, const U_SIZEL szlDevice,
                      const U_SIZEL szlMillimeters, const uint32_t bOpenGL) {
    if (pfmtDesc != nullptr || (Description != nullptr && nDesc != 0)) return nullptr;
    auto* header = static_cast<U_EMRHEADER*>(std::calloc(1, sizeof(U_EMRHEADER)));
    if (header == nullptr) return nullptr;
    header->emr.iType = U_EMR_HEADER;
    header->emr.nSize = sizeof(U_EMRHEADER);
    header->rclBounds = rclBounds;
    header->rclFrame = rclFrame;
    header->dSignature = U_ENHMETA_SIGNATURE;
    header->nVersion = U_ENHMETA_VERSION;
    header->szlDevice = szlDevice;
    header->szlMillimeters = szlMillimeters;
    header->bOpenGL = bOpenGL;
    header->szlMicrometers.cx = szlMillimeters.cx * 1000;
    header->szlMicrometers.cy = szlMillimeters.cy * 1000;
    return reinterpret_cast<char*>(header);
}

char* U_EMREOF_set(const U_CBPLENTRIES cbPalEntries, const PU_LOGPLTNTRY PalEntries, EMFTRACK* et) {
    if (cbPalEntries != 0 || PalEntries != nullptr || et == nullptr) return nullptr;
    const uint32_t bytes = sizeof(U_EMREOF) + sizeof(uint32_t);
    auto* record = static_cast<char*>(std::calloc(1, bytes));
    if (record == nullptr) return nullptr;
    auto* eof = reinterpret_cast<U_EMREOF*>(record);
    eof->emr.iType = U_EMR_EOF;
    eof->emr.nSize = bytes;
    // nSizeLast: the record's own size plus what the tracker holds.
    const uint32_t sizeLast = bytes + static_cast<uint32_t>(et->used);
    std::memcpy(record + sizeof(U_EMREOF), &sizeLast, sizeof sizeLast);
    et->PalEntries = 0;
    return record;
}

char* U_WMRHEADER_set(U_PAIRF* size, unsigned int /*dpi*/) {
    if (size != nullptr) return nullptr;
    auto* record = static_cast<char*>(std::calloc(1, U_SIZE_WMRHEADER));
    if (record == nullptr) return nullptr;
    const uint16_t fields[3] = {1, U_SIZE_WMRHEADER / 2, U_METAVERSION300};  // type, words, version
    std::memcpy(record, fields, sizeof fields);
    return record;
}

char* U_WMRSETWINDOWORG_set(U_POINT16 coord) {
    return WmfPointRecord(kWmfSetWindowOrg, coord);
}

char* U_WMRSETWINDOWEXT_set(U_POINT16 extent) {
    return WmfPointRecord(kWmfSetWindowExt, extent);
}

char* U_WMREOF_set(void) {
    return WmfRecord(kWmfEof, 0, nullptr);
}

}  // extern "C"
