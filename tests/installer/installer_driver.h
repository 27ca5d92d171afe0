#pragma once

// Drives a running Install.exe from another process, as an operator would: through its window, its
// controls and its message boxes.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A message box that the installer showed, and what the total bar showed meanwhile.
struct SeenBox {
  std::wstring title;
  std::wstring text;
  int buttons = 0;
  int total_position = -1;
};

class InstallerDriver {
public:
  // Starts the program and waits for its window. Every wait lasts `patience` times its usual length: an
  // emulated program may need that much longer.
  explicit InstallerDriver(const std::wstring &program, int patience = 1);
  // Closes the window ("Fechar") and waits for the program to end.
  ~InstallerDriver();
  // The same, with the program's exit code; STILL_ACTIVE when it had to be killed.
  DWORD close();
  InstallerDriver(const InstallerDriver &) = delete;
  InstallerDriver &operator=(const InstallerDriver &) = delete;

  HWND window() const { return form; }
  // Picks the installation type from the type box's list.
  void choose_type(const std::wstring &type);
  // Ticks or clears an option by clicking it when it differs.
  void set_option(const std::wstring &caption, bool ticked);
  bool option(const std::wstring &caption) const;
  // Whether a control of the window reads `caption`.
  bool shows(const std::wstring &caption) const { return control(caption) != nullptr; }
  void press_install();

  std::wstring status() const;
  bool type_box_enabled() const;
  bool install_enabled() const;
  int total_position() const;
  int total_maximum() const;

  // Waits until the status line reads `final_status`, answering each message box with answer(text).
  // `on_box` sees each box before it is answered. False on timeout (120 s, times the patience).
  bool run_until(const std::wstring &final_status, const std::function<int(const SeenBox &)> &answer,
                 const std::function<void(HWND box)> &on_box = {});
  // Waits for a run that ends with files not placed: the status "Concluído com falhas" and the summary
  // box, which may come just after the status; the box is answered OK and recorded last.
  bool run_until_summary(const std::function<int(const SeenBox &)> &answer,
                         const std::function<void(HWND box)> &on_box = {});
  // Waits for one message box, records it and answers it. False on timeout (60 s, times the patience).
  bool answer_one_box(int answer);

  std::vector<SeenBox> boxes;

private:
  HWND find_box() const;
  HWND control(const std::wstring &caption) const;
  HWND control_of_class_at(const wchar_t *kind, int top) const;
  SeenBox handle_box(HWND box, const std::function<int(const SeenBox &)> &answer,
                     const std::function<void(HWND)> &on_box);

  PROCESS_INFORMATION process{};
  HWND form = nullptr;
  DWORD patience;
};

// A start of the program that it refuses or questions with a message box before any window: the box,
// answered with `answer`, and the exit code.
struct RefusedStart {
  SeenBox box;
  DWORD exit_code = STILL_ACTIVE;
};
RefusedStart start_refused(const std::wstring &program, int answer = IDOK, int patience = 1);

// The picture of a window as it shows on the screen, saved as a PNG file.
bool save_screenshot(HWND window, const std::wstring &path);
