#include "picture.h"

#include "windows_owners.h"

#include <wincodec.h>

HBITMAP load_png_resource(HINSTANCE instance, int id) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
  void *bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes)
    return nullptr;

  Releasing<IWICImagingFactory> factory;
  Releasing<IWICStream> stream;
  Releasing<IWICBitmapDecoder> decoder;
  Releasing<IWICBitmapFrameDecode> frame;
  Releasing<IWICBitmapSource> converted;
  UINT width = 0, height = 0;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              factory.out_void())) ||
      FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromMemory(static_cast<BYTE *>(bytes), SizeofResource(instance, found))) ||
      FAILED(factory->CreateDecoderFromStream(stream.pointer, nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.out())) ||
      FAILED(decoder->GetFrame(0, frame.out())) ||
      FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGR, frame.pointer, converted.out())) ||
      FAILED(converted->GetSize(&width, &height)))
    return nullptr;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (!bitmap)
    return nullptr;
  if (FAILED(converted->CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE *>(pixels)))) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}
