// A process for tests to look for: it stays alive for the number of milliseconds given.
#include <windows.h>

#include <cstdlib>

int main(int argc, char **argv) {
  Sleep(argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 10000);
  return 0;
}
