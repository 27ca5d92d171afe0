#include "installer_driver.h"
#include "window_text.h"

#include "capture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A message to a window of the installer; the run blocks its thread at times, so never wait for long.
LRESULT ask(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 10000, &result);
  return static_cast<LRESULT>(result);
}

// The text of a control that keeps it itself (an edit field), asked through the control's window.
std::wstring text_asked(HWND control) {
  wchar_t text[256] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000,
                      &length);
  return text;
}

template <typename Match> HWND find_window(Match match, HWND parent = nullptr) {
  struct Search {
    Match &match;
    HWND found = nullptr;
  } search{match};
  auto visit = [](HWND window, LPARAM data) -> BOOL {
    auto *s = reinterpret_cast<Search *>(data);
    if (!s->match(window))
      return TRUE;
    s->found = window;
    return FALSE;
  };
  if (parent)
    EnumChildWindows(parent, visit, reinterpret_cast<LPARAM>(&search));
  else
    EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD process_of(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

} // namespace

InstallerDriver::InstallerDriver(const std::wstring &program, int factor) : patience(factor) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + program + L"\"";
  // Started in C:\ so that nothing it does can reach outside the machine's drive C:.
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup,
                      &process))
    throw std::runtime_error("Install.exe does not start");
  for (DWORD tries = 0; tries < 600 * patience && !form; ++tries) {
    form = find_window([&](HWND w) {
      return process_of(w) == process.dwProcessId && class_of(w) == L"TForm1" && IsWindowVisible(w);
    });
    if (!form)
      Sleep(50);
  }
  if (!form)
    throw std::runtime_error("the installer's window does not show");
}

InstallerDriver::~InstallerDriver() {
  if (close() == STILL_ACTIVE)
    ADD_FAILURE() << "Install.exe did not close within " << 20 * patience << " s of \"Fechar\"; terminated";
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

DWORD InstallerDriver::close() {
  if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    PostMessageW(control(L"Fechar"), BM_CLICK, 0, 0);
    if (WaitForSingleObject(process.hProcess, 20000 * patience) == WAIT_TIMEOUT) {
      TerminateProcess(process.hProcess, STILL_ACTIVE);
      WaitForSingleObject(process.hProcess, 5000);
      return STILL_ACTIVE;
    }
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &code);
  return code;
}

HWND InstallerDriver::control(const std::wstring &caption) const {
  return find_window([&](HWND w) { return text_of(w) == caption; }, form);
}

HWND InstallerDriver::control_of_class_at(const wchar_t *kind, int top) const {
  return find_window(
      [&](HWND w) {
        RECT area;
        GetWindowRect(w, &area);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT *>(&area), 2);
        return class_of(w) == kind && area.top == top;
      },
      form);
}

void InstallerDriver::choose_type(const std::wstring &type) {
  HWND box = find_window([](HWND w) { return class_of(w) == L"ComboBox"; }, form);
  ask(box, CB_SETCURSEL, type == L"Servidor" ? 0 : 1);
  if (text_asked(box) != type)
    throw std::runtime_error("the type box does not offer the type");
}

bool InstallerDriver::option(const std::wstring &caption) const {
  return ask(control(caption), BM_GETCHECK) == BST_CHECKED;
}

void InstallerDriver::set_option(const std::wstring &caption, bool ticked) {
  if (option(caption) != ticked)
    ask(control(caption), BM_CLICK);
}

void InstallerDriver::press_install() {
  std::wstring before = status();
  PostMessageW(control(L"Instalar"), BM_CLICK, 0, 0);
  // After a finished run the status line still reads "Concluído": wait until the new run shows.
  if (before.empty())
    return;
  for (DWORD tries = 0; tries < 600 * patience && status() == before && !find_box(); ++tries)
    Sleep(50);
}

std::wstring InstallerDriver::status() const {
  return text_of(control_of_class_at(L"Static", 237));
}

bool InstallerDriver::type_box_enabled() const {
  return IsWindowEnabled(find_window([](HWND w) { return class_of(w) == L"ComboBox"; }, form));
}

bool InstallerDriver::install_enabled() const {
  return IsWindowEnabled(control(L"Instalar"));
}

int InstallerDriver::total_position() const {
  return static_cast<int>(ask(control_of_class_at(PROGRESS_CLASSW, 298), PBM_GETPOS));
}

int InstallerDriver::total_maximum() const {
  return static_cast<int>(ask(control_of_class_at(PROGRESS_CLASSW, 298), PBM_GETRANGE, FALSE));
}

HWND InstallerDriver::find_box() const {
  return find_window([&](HWND w) {
    return process_of(w) == process.dwProcessId && class_of(w) == L"#32770" && IsWindowVisible(w);
  });
}

SeenBox InstallerDriver::handle_box(HWND box, const std::function<int(const SeenBox &)> &answer,
                                    const std::function<void(HWND)> &on_box) {
  Sleep(200); // let the box finish its set-up and paint
  SeenBox seen;
  seen.title = text_of(box);
  seen.text = text_of(GetDlgItem(box, 0xFFFF));
  EnumChildWindows(
      box,
      [](HWND child, LPARAM data) {
        if (IsWindowVisible(child) && _wcsicmp(class_of(child).c_str(), L"Button") == 0)
          ++*reinterpret_cast<int *>(data);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&seen.buttons));
  seen.total_position = total_position();
  if (on_box)
    on_box(box);
  int button = answer(seen);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  for (int tries = 0; tries < 100 && IsWindow(box) && IsWindowVisible(box); ++tries)
    Sleep(50);
  boxes.push_back(seen);
  return seen;
}

bool InstallerDriver::run_until(const std::wstring &final_status,
                                const std::function<int(const SeenBox &)> &answer,
                                const std::function<void(HWND)> &on_box) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 120000 * patience;) {
    if (HWND box = find_box())
      handle_box(box, answer, on_box);
    else if (status() == final_status)
      return true;
    else
      Sleep(100);
  }
  return false;
}

bool InstallerDriver::run_until_summary(const std::function<int(const SeenBox &)> &answer,
                                        const std::function<void(HWND)> &on_box) {
  auto summary = [](const SeenBox &box) { return box.text.rfind(L"Arquivos não instalados:", 0) == 0; };
  if (!run_until(
          L"Concluído com falhas", [&](const SeenBox &box) { return summary(box) ? IDOK : answer(box); },
          on_box))
    return false;
  return (!boxes.empty() && summary(boxes.back())) || answer_one_box(IDOK);
}

bool InstallerDriver::answer_one_box(int answer) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000 * patience; Sleep(100))
    if (HWND box = find_box()) {
      handle_box(box, [answer](const SeenBox &) { return answer; }, {});
      return true;
    }
  return false;
}

RefusedStart start_refused(const std::wstring &program, int answer, int patience) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  std::wstring command = L"\"" + program + L"\"";
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup,
                      &started))
    throw std::runtime_error("the program does not start");
  RefusedStart refused;
  HWND box = nullptr;
  for (int tries = 0;
       tries < 600 * patience && !box && WaitForSingleObject(started.hProcess, 50) == WAIT_TIMEOUT; ++tries)
    box = find_window([&](HWND w) {
      return process_of(w) == started.dwProcessId && class_of(w) == L"#32770" && IsWindowVisible(w);
    });
  if (box) {
    Sleep(200); // let the box finish its set-up
    refused.box.title = text_of(box);
    refused.box.text = text_of(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
  }
  if (WaitForSingleObject(started.hProcess, 20000 * patience) == WAIT_TIMEOUT)
    TerminateProcess(started.hProcess, STILL_ACTIVE);
  WaitForSingleObject(started.hProcess, 5000);
  GetExitCodeProcess(started.hProcess, &refused.exit_code);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return refused;
}

bool save_screenshot(HWND window, const std::wstring &path) {
  return capture_screen_area(window).save_png(path);
}
