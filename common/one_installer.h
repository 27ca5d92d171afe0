#pragma once

// One installer at a time on a machine: two would share "c:\Velacorte\tmp".

#include <windows.h>

class OneInstaller {
public:
  OneInstaller();
  ~OneInstaller();
  OneInstaller(const OneInstaller &) = delete;
  OneInstaller &operator=(const OneInstaller &) = delete;

  // False when another installer already runs.
  bool first() const { return first_; }

private:
  HANDLE mutex_ = nullptr;
  bool first_ = true;
};
