#include "capture.h"

#include "windows_owners.h"

#include <wincodec.h>

COLORREF Capture::at(int x, int y) const {
  uint32_t bgrx = pixels[static_cast<size_t>(y) * width + x];
  return RGB((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF);
}

namespace {

// Copies the rectangle at (left, top) of the device context `source` into a picture.
Capture capture_from(HDC source, int left, int top, int width, int height) {
  Capture capture;
  capture.width = width;
  capture.height = height;
  capture.pixels.resize(static_cast<size_t>(capture.width) * capture.height);

  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateCompatibleBitmap(source, capture.width, capture.height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, capture.width, capture.height, source, left, top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = capture.width;
  info.bmiHeader.biHeight = -capture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  GetDIBits(memory, bitmap, 0, capture.height, capture.pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return capture;
}

} // namespace

Capture capture_client(HWND window) {
  RECT area;
  GetClientRect(window, &area);
  HDC screen = GetDC(window);
  Capture capture = capture_from(screen, 0, 0, area.right, area.bottom);
  ReleaseDC(window, screen);
  return capture;
}

Capture capture_screen_area(HWND window) {
  RECT area;
  GetWindowRect(window, &area);
  HDC screen = GetDC(nullptr);
  Capture capture = capture_from(screen, area.left, area.top, area.right - area.left, area.bottom - area.top);
  ReleaseDC(nullptr, screen);
  return capture;
}

bool Capture::save_png(const std::wstring &path) const {
  Releasing<IWICImagingFactory> factory;
  Releasing<IWICStream> stream;
  Releasing<IWICBitmapEncoder> encoder;
  Releasing<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, factory.out_void())) &&
         SUCCEEDED(factory->CreateStream(stream.out())) &&
         SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) &&
         SUCCEEDED(encoder->Initialize(stream.pointer, WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(frame.out(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
         SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
         SUCCEEDED(frame->WritePixels(height, width * 4, width * height * 4,
                                      reinterpret_cast<BYTE *>(const_cast<uint32_t *>(pixels.data())))) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}
