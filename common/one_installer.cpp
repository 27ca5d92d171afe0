#include "one_installer.h"

// Every session sees this name, so installers of two users at once are refused too.
OneInstaller::OneInstaller() {
  mutex_ = CreateMutexW(nullptr, FALSE, L"Global\\VelacorteInstall");
  first_ = !(mutex_ && GetLastError() == ERROR_ALREADY_EXISTS);
}

OneInstaller::~OneInstaller() {
  if (mutex_)
    CloseHandle(mutex_);
}
