// The PNG encoder of the Windows Imaging Component, which every Windows (and Wine) has: rows
// go to the encoder's frame as they come; the file is made in a memory stream and written to
// the output when the frame is complete.
#include "xpmimport/render/png_writer.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <new>
#include <vector>

namespace xpmimport {

struct PngRowWriter::Encoder {
    bool comStarted = false;  // this thread's COM was started here and is ended here
    IWICImagingFactory* factory = nullptr;
    IStream* memory = nullptr;
    IWICBitmapEncoder* png = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    std::vector<uint8_t> bgr;  // one row in the encoder's byte order
    int32_t width = 0;
    HRESULT result = S_OK;  // the first failure

    ~Encoder() {
        for (IUnknown* object : {static_cast<IUnknown*>(frame), static_cast<IUnknown*>(png),
                                 static_cast<IUnknown*>(memory), static_cast<IUnknown*>(factory)})
            if (object != nullptr) object->Release();
        if (comStarted) CoUninitialize();
    }

    // Keeps the first failure; true when hr succeeded and nothing failed before.
    bool ok(HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        return SUCCEEDED(result);
    }

    bool Start(int32_t pictureWidth, int32_t height) {
        // Any mode serves: an apartment the thread already has (RPC_E_CHANGED_MODE) too.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        comStarted = SUCCEEDED(com);
        width = pictureWidth;
        bgr.resize(static_cast<size_t>(width) * 3);
        WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
        if (!ok(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) ||
            !ok(CreateStreamOnHGlobal(nullptr, TRUE, &memory)) ||
            !ok(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &png)) ||
            !ok(png->Initialize(memory, WICBitmapEncoderNoCache)) ||
            !ok(png->CreateNewFrame(&frame, nullptr)) || !ok(frame->Initialize(nullptr)) ||
            !ok(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) ||
            !ok(frame->SetPixelFormat(&format)))
            return false;
        // The encoder may answer with another format; then its rows are not ours.
        return ok(IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)
                      ? S_OK
                      : WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT);
    }

    bool Row(const uint8_t* rgb) {
        for (size_t i = 0; i < bgr.size(); i += 3) {
            bgr[i] = rgb[i + 2];
            bgr[i + 1] = rgb[i + 1];
            bgr[i + 2] = rgb[i];
        }
        const UINT bytes = static_cast<UINT>(bgr.size());
        return ok(frame->WritePixels(1, bytes, bytes, bgr.data()));
    }

    bool Finish(std::FILE* out) {
        if (!ok(frame->Commit()) || !ok(png->Commit())) return false;
        STATSTG status = {};
        HGLOBAL block = nullptr;
        if (!ok(memory->Stat(&status, STATFLAG_NONAME)) ||
            !ok(GetHGlobalFromStream(memory, &block)))
            return false;
        const size_t size = static_cast<size_t>(status.cbSize.QuadPart);
        const void* bytes = GlobalLock(block);
        const bool written = bytes != nullptr && std::fwrite(bytes, 1, size, out) == size;
        GlobalUnlock(block);
        return ok(written ? S_OK : STG_E_WRITEFAULT);
    }
};

PngRowWriter::~PngRowWriter() {
    delete encoder_;
}

bool PngRowWriter::failed(std::string* error) {
    if (encoder_ == nullptr) {
        *error = "out of memory";
        return false;
    }
    char words[96];
    std::snprintf(words, sizeof words, "PNG encoding failed (Windows Imaging Component, 0x%08lX)",
                  static_cast<unsigned long>(encoder_->result));
    *error = words;
    return false;
}

bool PngRowWriter::begin(int32_t width, int32_t height, std::string* error) {
    if (width <= 0 || height <= 0) {
        *error = "the picture is empty (" + std::to_string(width) + " x " + std::to_string(height) +
                 "); PNG cannot hold it";
        return false;
    }
    encoder_ = new (std::nothrow) Encoder;
    return (encoder_ != nullptr && encoder_->Start(width, height)) || failed(error);
}

bool PngRowWriter::row(const uint8_t* rgb, std::string* error) {
    return (encoder_ != nullptr && SUCCEEDED(encoder_->result) && encoder_->Row(rgb)) ||
           failed(error);
}

bool PngRowWriter::finish(std::string* error) {
    return (encoder_ != nullptr && SUCCEEDED(encoder_->result) && encoder_->Finish(out_)) ||
           failed(error);
}

}  // namespace xpmimport
