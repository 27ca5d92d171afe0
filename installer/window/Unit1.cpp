// The installer window: creation, message handling and the handlers of its controls.
#include "Unit1.h"

#include "application.h"
#include "controls.h"
#include "folders.h"
#include "layout.h"
#include "messages.h"
#include "run_outcome.h"
#include "text.h"
#include "windows_error.h"

#include <commctrl.h>

namespace {

constexpr DWORD window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Progress bars hold 32-bit values: the low 32 bits of a 64-bit count.
LPARAM low_32_bits(int64_t count) {
  return static_cast<int32_t>(static_cast<uint32_t>(count));
}

} // namespace

TForm1::TForm1(HINSTANCE instance, std::wstring log_path) : Log(std::move(log_path)) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  register_window_classes(instance, window_procedure);
  RECT frame = centred_window_rect(window_style);
  if (!CreateWindowExW(0, L"TForm1", L"Instalador Velacorte", window_style, frame.left, frame.top,
                       frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                       this)) {
    creation_failure_ = "CreateWindowExW: " + windows_error_text(GetLastError());
    // A window destroyed during its creation (WM_CREATE refused) left its handle behind.
    window = nullptr;
    return;
  }

  IdHTTP1.OnWorkBegin = [this](TWorkMode mode, int64_t size) { IdHTTP1WorkBegin(&IdHTTP1, mode, size); };
  IdHTTP1.OnWork = [this](TWorkMode mode, int64_t count) { IdHTTP1Work(&IdHTTP1, mode, count); };
  FormCreate(this);
}

TForm1::~TForm1() {
  if (window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(banner_bitmap), static_cast<HGDIOBJ>(font_regular),
                         static_cast<HGDIOBJ>(font_bold), static_cast<HGDIOBJ>(font_bold_16),
                         static_cast<HGDIOBJ>(font_bold_19)})
    if (object)
      DeleteObject(object);
}

void TForm1::Show(int show_command) {
  ShowWindow(window, show_command);
  UpdateWindow(window);
}

LRESULT CALLBACK TForm1::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto *form = static_cast<TForm1 *>(reinterpret_cast<CREATESTRUCTW *>(lparam)->lpCreateParams);
    form->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto *form = reinterpret_cast<TForm1 *>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form)
    return DefWindowProcW(window, message, wparam, lparam);
  // A failure that no handler caught ends up here, as in the message loop's default handler: reported,
  // and the window stays open.
  try {
    return form->handle(message, wparam, lparam);
  } catch (const application::NotedFailure &failure) {
    application::show_failure(failure.what(), failure.note());
  } catch (const std::exception &failure) {
    application::show_failure(failure.what());
  } catch (...) {
    application::show_failure(message::kUnexpectedFailure);
  }
  return 0;
}

LRESULT TForm1::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
  case WM_CREATE:
    create_controls(reinterpret_cast<CREATESTRUCTW *>(lparam)->hInstance);
    return 0;
  case WM_COMMAND:
    if (lparam)
      command(reinterpret_cast<HWND>(lparam), HIWORD(wparam));
    return 0;
  case WM_CTLCOLORSTATIC: {
    HWND control = reinterpret_cast<HWND>(lparam);
    if (control != lblArquitetura && control != lblStatus)
      break;
    HDC dc = reinterpret_cast<HDC>(wparam);
    SetTextColor(dc, control == lblArquitetura ? RGB(0, 0, 255) : RGB(255, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  case WM_DRAWITEM: {
    auto *item = reinterpret_cast<DRAWITEMSTRUCT *>(lparam);
    if (item->hwndItem != Image1)
      break;
    FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (banner_bitmap) {
      HDC picture = CreateCompatibleDC(item->hDC);
      HGDIOBJ previous = SelectObject(picture, banner_bitmap);
      BITMAP size;
      GetObjectW(banner_bitmap, sizeof(size), &size);
      BitBlt(item->hDC, 0, 0, size.bmWidth, size.bmHeight, picture, 0, 0, SRCCOPY);
      SelectObject(picture, previous);
      DeleteDC(picture);
    }
    return TRUE;
  }
  case WM_CLOSE:
    btnFecharClick(this);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void TForm1::command(HWND control, WORD notification) {
  if (notification != BN_CLICKED)
    return;
  if (control == btnInstalar)
    btnInstalarClick(this);
  else if (control == btnFechar)
    btnFecharClick(this);
  else if (control == checkDll)
    check_dll_changed();
}

void TForm1::check_dll_changed() {
  bool now = ticked(checkDll);
  if (now == dll_ticked)
    return;
  dll_ticked = now;
  checkDllClick(this);
}

void TForm1::FormCreate(void *) {
  SetWindowTextW(lblArquitetura, L"");
  SetWindowTextW(lblArquitetura, folder_exists(L"c:\\windows\\sysWOW64") ? L"64 Bits" : L"32 Bits");
  versaoVelacorte = "7.7.0.0";
  SetWindowTextW(lblStatus, L"");
}

void TForm1::checkDllClick(void *) {
  if (!ticked(checkDll))
    return;
  for (HWND option : {checkFirebird, checkVnc, checkIbo, checkCaminhoBd, checkBaixarBD})
    SendMessageW(option, BM_SETCHECK, BST_UNCHECKED, 0);
}

void TForm1::btnInstalarClick(void *) {
  std::wstring type = window_text(ComboBox1);
  if (type != L"Servidor" && type != L"Estação") {
    MessageBoxW(nullptr, message::kChooseType, L"", MB_ICONINFORMATION | MB_OK);
    return;
  }
  // "Instalar" stays disabled while a run goes on, so a second run can never start inside the first.
  if (running)
    return;
  struct Running {
    TForm1 &form;
    explicit Running(TForm1 &form) : form(form) {
      form.running = true;
      EnableWindow(form.btnInstalar, FALSE);
    }
    ~Running() {
      form.running = false;
      EnableWindow(form.btnInstalar, TRUE);
    }
  } guard(*this);
  // Until the run reaches its end, it counts as ended by a failure.
  record_ending(RunEnding::Failed);
  try {
    instalacao();
  } catch (const std::exception &failure) {
    Log.line(std::string("fim: falha: ") + failure.what());
    // What the run placed before it failed is removed by the uninstaller as well.
    Record.save(Log);
    throw application::NotedFailure(failure.what(), message::kLogIsAt + text::narrow(Log.path()));
  }
}

void TForm1::btnFecharClick(void *) {
  application::terminate();
}

void TForm1::IdHTTP1WorkBegin(void *, TWorkMode, int64_t AWorkCountMax) {
  SendMessageW(pbArquivo, PBM_SETRANGE32, 0, low_32_bits(AWorkCountMax));
  SendMessageW(pbArquivo, PBM_SETPOS, 0, 0);
}

void TForm1::IdHTTP1Work(void *, TWorkMode, int64_t AWorkCount) {
  SendMessageW(pbArquivo, PBM_SETPOS, static_cast<WPARAM>(low_32_bits(AWorkCount)), 0);
  // A large download takes long: the window keeps painting and answering meanwhile.
  ULONGLONG now = GetTickCount64();
  if (now - messages_processed_at >= application::kMessageInterval) {
    messages_processed_at = now;
    application::process_messages();
  }
}

void TForm1::status(const std::string &text) {
  SetWindowTextW(lblStatus, text::widen(text).c_str());
  application::process_messages();
}
