#pragma once

// A run without a person: the options of the command line set the window's type box and option boxes
// as an operator would, then the run goes as "Instalar" starts it; questions are answered by the
// options' rounds and messages go to the log.

#include "command_line.h"

class TForm1;

// Runs the installation; the program's exit code.
int run_unattended(TForm1 &form, const InstallOptions &options);
