#pragma once

#include "queryd_server.h"

#include <string>

// Runs SQL on the test's velacorte-queryd as Install.exe would, with the installer's token, which it
// writes first: a run that went wrong may have taken it away.
void run_script(const queryd_test::QuerydServer &service, const std::string &sql);
