#pragma once

#include "Unit1.h"

#include <functional>

// The tests' stand-in for the installation run: "Instalar" calls whatever the test puts here.
extern std::function<void(TForm1 &)> test_run;
