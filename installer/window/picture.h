#pragma once

#include <windows.h>

// Decodes a PNG kept as an RCDATA resource into a 32-bit top-down DIB section through WIC; null when the
// resource is missing or cannot be decoded. Needs COM on the calling thread.
HBITMAP load_png_resource(HINSTANCE instance, int id);
