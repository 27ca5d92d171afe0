#include "one_installer.h"

#include "product.h"
#include "text.h"

// Every session sees this name, so installers of two users at once are refused too.
OneInstaller::OneInstaller() {
  mutex_.reset(CreateMutexW(nullptr, FALSE, text::widen(product::kInstallerMutex).c_str()));
  first_ = !(mutex_ && GetLastError() == ERROR_ALREADY_EXISTS);
}
