#pragma once

// The builds of Install.exe that the end-to-end tests drive, all with the test build's host: the 64-bit
// test build, and the 32-bit product, which runs under WoW64 as it does for the shops.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

struct ProductBuild {
  const char *name;
  const wchar_t *install_exe;
  // Whether it runs as a 32-bit program on 64-bit Windows: its registry and its system folder are the
  // 32-bit views.
  bool wow64;
  // How many times longer than the 64-bit build its waits may take; qemu emulates a 32-bit Wine here.
  int patience;
  // The registry view that the program writes HKEY_LOCAL_MACHINE\Software through.
  REGSAM view() const { return wow64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
};

inline const ProductBuild kBuild64{"x64", INSTALL_EXE, false, 1};
inline const ProductBuild kBuild32{"x86", INSTALL_EXE_32, true, 4};

inline std::string build_name(const testing::TestParamInfo<ProductBuild> &info) {
  return info.param.name;
}
