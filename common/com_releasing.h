#pragma once

#include <unknwn.h>

// Holds one COM interface and releases it on every way out.
template <typename Interface> struct Releasing {
  Interface *pointer = nullptr;

  Releasing() = default;
  Releasing(const Releasing &) = delete;
  Releasing &operator=(const Releasing &) = delete;
  ~Releasing() {
    if (pointer)
      pointer->Release();
  }

  Interface *operator->() const { return pointer; }
  Interface **out() { return &pointer; }
  // For the calls that hand back an interface chosen by its IID.
  void **out_void() { return reinterpret_cast<void **>(&pointer); }
};
