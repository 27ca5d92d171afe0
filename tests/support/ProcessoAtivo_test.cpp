#include "ProcessoAtivo.h"
#include "text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Starts a copy of the sleeper under `name` in a scratch folder; the process ends with the fixture.
class RunningProgram : public ::testing::Test {
protected:
  void Start(const std::wstring &name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    fs::path folder = fs::temp_directory_path() / L"velacorte-processo";
    fs::create_directories(folder);
    fs::path copy = folder / name;
    fs::copy_file(fs::path(self).parent_path() / SLEEPER_EXE, copy, fs::copy_options::overwrite_existing);
    std::wstring command = L"\"" + copy.wstring() + L"\" 30000";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    ASSERT_TRUE(CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &process_));
  }
  void TearDown() override {
    if (process_.hProcess) {
      TerminateProcess(process_.hProcess, 0);
      WaitForSingleObject(process_.hProcess, 5000);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
  }
  PROCESS_INFORMATION process_{};
};

TEST_F(RunningProgram, MatchesNamesWithAsciiLettersCaseInsensitive) {
  Start(L"VelacorteSetup\u00C7.exe");
  struct Case {
    const char *name;
    bool running;
  } cases[] = {
      {"VelacorteSetupÇ.exe", true},
      {"velacorteSETUPÇ.EXE", true},
      {"VelacorteSetupç.exe", false}, // letters outside a-z compare exactly
      {"VelacorteSetupÇ", false},
      {"NoSuchProgram.exe", false},
      {"", false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(ProcessoAtivo(c.name), c.running) << c.name;
}

TEST_F(RunningProgram, ClosesTheSnapshotEveryTime) {
  Start(L"IboConsoleSetup.exe");
  DWORD before = 0, after = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(ProcessoAtivo("ibOconsoleSETUP.EXE"));
    EXPECT_FALSE(ProcessoAtivo("missing.exe"));
  }
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
  EXPECT_EQ(after, before);
}

} // namespace
