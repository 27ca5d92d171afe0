#include "windows_version.h"

OSVERSIONINFOW windows_version() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  static_assert(sizeof(OSVERSIONINFOW) == 276);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&version);
#pragma GCC diagnostic pop
  return version;
}
