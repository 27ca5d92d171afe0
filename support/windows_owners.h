#pragma once

// Owners of Windows resources: each closes or releases what it holds on every way out. Windows only.

#include <windows.h>

#include <unknwn.h>

namespace win {

// One resource of the kind that `Traits` describes: its type, its "none" value and how it is closed.
template <typename Traits> class Owned {
public:
  using Value = typename Traits::Value;

  Owned() = default;
  explicit Owned(Value value) : value_(value) {}
  ~Owned() { reset(); }
  Owned(Owned &&other) noexcept : value_(other.release()) {}
  Owned &operator=(Owned &&other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }

  explicit operator bool() const { return value_ != Traits::none(); }
  Value get() const { return value_; }
  // For the calls that hand back a new resource through a pointer; what was held is closed first.
  Value *out() {
    reset();
    return &value_;
  }
  Value release() {
    Value value = value_;
    value_ = Traits::none();
    return value;
  }
  void reset(Value value = Traits::none()) {
    if (*this)
      Traits::close(value_);
    value_ = value;
  }

private:
  Value value_ = Traits::none();
};

// Process, thread, mutex and snapshot-free handles: null when there is none.
struct HandleTraits {
  using Value = HANDLE;
  static Value none() { return nullptr; }
  static void close(Value value) { CloseHandle(value); }
};
// Files and toolhelp snapshots: INVALID_HANDLE_VALUE when there is none.
struct FileTraits {
  using Value = HANDLE;
  static Value none() { return INVALID_HANDLE_VALUE; }
  static void close(Value value) { CloseHandle(value); }
};
struct KeyTraits {
  using Value = HKEY;
  static Value none() { return nullptr; }
  static void close(Value value) { RegCloseKey(value); }
};
struct FindTraits {
  using Value = HANDLE;
  static Value none() { return INVALID_HANDLE_VALUE; }
  static void close(Value value) { FindClose(value); }
};

using Handle = Owned<HandleTraits>;
using File = Owned<FileTraits>;
using Key = Owned<KeyTraits>;
using Find = Owned<FindTraits>;

} // namespace win

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
