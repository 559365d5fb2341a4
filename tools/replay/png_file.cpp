// Writes a picture as a PNG file through the platform's imaging library (WIC). The file is
// written under a temporary name beside the target and renamed over it when complete, so a
// failure leaves no partial file.
#include "replay.h"

#include <wincodec.h>

#include <string>

// ---- Types ----

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T> class Com {
  public:
    Com() = default;
    ~Com() {
        if (pointer_ != nullptr)
            pointer_->Release();
    }
    Com(const Com &) = delete;
    Com &operator=(const Com &) = delete;
    T **out() { return &pointer_; }
    T *operator->() const { return pointer_; }
    T *get() const { return pointer_; }

  private:
    T *pointer_ = nullptr;
};

// ---- Internal functions ----

std::wstring wide(const std::string &text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0], length);
    result.resize(wcslen(result.c_str()));
    return result;
}

HRESULT encode(const std::wstring &path, const Picture &picture) {
    Com<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void **>(factory.out()));
    Com<IWICStream> stream;
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.out());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    Com<IWICBitmapEncoder> encoder;
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.out(), options.out());
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options.get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(picture.width, picture.height);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr)) {
        const UINT stride = static_cast<UINT>(picture.width) * 3;
        hr = frame->WritePixels(picture.height, stride, static_cast<UINT>(picture.bgr.size()),
                                const_cast<BYTE *>(picture.bgr.data()));
    }
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    return hr;
}

} // namespace

// ---- Public functions ----

bool write_png(const char *path, const Picture &picture) {
    const std::string temporary =
        std::string(path) + ".part" + std::to_string(GetCurrentProcessId());
    const HRESULT initialized = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // The encoder and its stream are released, and with them the file, before the rename.
    const HRESULT hr = encode(wide(temporary), picture);
    if (SUCCEEDED(initialized))
        CoUninitialize();
    if (SUCCEEDED(hr) &&
        MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary.c_str());
    return false;
}
