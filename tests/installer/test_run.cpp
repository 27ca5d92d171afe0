#include "test_run.h"

std::function<void(TForm1 &)> test_run;

void TForm1::instalacao() {
  if (test_run)
    test_run(*this);
}
