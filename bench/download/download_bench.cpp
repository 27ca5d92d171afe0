// One download with the installer's own routine (WinHTTP streamed into a temporary file beside the
// target): prints "bytes seconds peak_growth_bytes" for bench_download.sh.
#include "Exception.h"
#include "HttpClient.h"
#include "download_file.h"
#include "text.h"

#include <windows.h>

#include <psapi.h>

#include <cstdio>

namespace {

SIZE_T peak_memory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize > counters.PeakPagefileUsage ? counters.PeakWorkingSetSize
                                                                  : counters.PeakPagefileUsage;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: download_bench URL TARGET\n");
    return 2;
  }
  std::string url = text::narrow(argv[1]);
  std::string target = text::narrow(argv[2]);
  HttpClient client;
  int64_t bytes = 0;
  client.OnWork = [&](TWorkMode, int64_t count) { bytes = count; };

  SIZE_T before = peak_memory();
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  try {
    download_file(client, url, target);
  } catch (const Exception &failure) {
    fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
  QueryPerformanceCounter(&end);
  SIZE_T after = peak_memory();
  printf("%lld %.6f %lld\n", static_cast<long long>(bytes),
         double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart),
         static_cast<long long>(after - before));
  return 0;
}
