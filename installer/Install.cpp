// The program's entry: COM on the window's thread as a single-threaded apartment, the installer window
// and its message loop.
#include "Unit1.h"
#include "application.h"

#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  CoInitialize(nullptr);
  {
    TForm1 Form1(instance);
    Form1.Show(show);
    application::run();
  }
  CoUninitialize();
  return 0;
}
