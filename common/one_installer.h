#pragma once

// One installer at a time on a machine: two would share "c:\Velacorte\tmp".

#include "windows_owners.h"

class OneInstaller {
public:
  OneInstaller();
  OneInstaller(const OneInstaller &) = delete;
  OneInstaller &operator=(const OneInstaller &) = delete;

  // What a refused start says, in a box or in the log.
  static constexpr char kRefusal[] = "O instalador já está em execução.";

  // False when another installer already runs.
  bool first() const { return first_; }

private:
  win::Handle mutex_;
  bool first_ = true;
};
