// The window's controls: parents, captions, initial states, placement and fonts.
#include "Unit1.h"

#include "picture.h"
#include "resource.h"

#include <commctrl.h>

namespace {

constexpr int client_width = 360;
constexpr int client_height = 374;

// Group boxes and panels pass their children's notifications on to the window, which handles them all.
LRESULT forward_to_window(HWND control, UINT message, WPARAM wparam, LPARAM lparam, bool &forwarded) {
  switch (message) {
  case WM_COMMAND:
  case WM_NOTIFY:
  case WM_DRAWITEM:
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLORBTN:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORLISTBOX:
    forwarded = true;
    return SendMessageW(GetAncestor(control, GA_ROOT), message, wparam, lparam);
  default:
    forwarded = false;
    return 0;
  }
}

LRESULT CALLBACK group_box_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                     DWORD_PTR) {
  bool forwarded;
  LRESULT result = forward_to_window(control, message, wparam, lparam, forwarded);
  return forwarded ? result : DefSubclassProc(control, message, wparam, lparam);
}

LRESULT CALLBACK panel_procedure(HWND panel, UINT message, WPARAM wparam, LPARAM lparam) {
  bool forwarded;
  LRESULT result = forward_to_window(panel, message, wparam, lparam, forwarded);
  if (forwarded)
    return result;
  // The panel keeps the font it is given, for its children's sake and for whoever asks.
  if (message == WM_SETFONT) {
    SetWindowLongPtrW(panel, 0, static_cast<LONG_PTR>(wparam));
    return 0;
  }
  if (message == WM_GETFONT)
    return GetWindowLongPtrW(panel, 0);
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(panel, &paint);
    RECT area;
    GetClientRect(panel, &area);
    DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
    EndPaint(panel, &paint);
    return 0;
  }
  return DefWindowProcW(panel, message, wparam, lparam);
}

HFONT tahoma(int height, bool bold) {
  return CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     L"Tahoma");
}

} // namespace

LRESULT CALLBACK check_dll_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                     DWORD_PTR form) {
  LRESULT result = DefSubclassProc(control, message, wparam, lparam);
  // Ticks set by the program pass through here as well as the operator's clicks.
  if (message == BM_SETCHECK)
    reinterpret_cast<TForm1 *>(form)->check_dll_changed();
  return result;
}

void TForm1::create_controls(HINSTANCE instance) {
  font_regular = tahoma(11, false);
  font_bold = tahoma(11, true);
  font_bold_16 = tahoma(16, true);
  font_bold_19 = tahoma(19, true);

  auto make = [&](const wchar_t *kind, const wchar_t *caption, DWORD style, HWND parent, int left, int top,
                  int width, int height, HFONT font) {
    HWND control = CreateWindowExW(0, kind, caption, WS_CHILD | WS_VISIBLE | style, left, top, width, height,
                                   parent, nullptr, instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  auto group_box = [&](const wchar_t *caption, int left, int top, int width, int height) {
    HWND box = make(WC_BUTTONW, caption, BS_GROUPBOX, window, left, top, width, height, font_regular);
    SetWindowSubclass(box, group_box_procedure, 0, 0);
    return box;
  };
  auto check_box = [&](const wchar_t *caption, int top, bool ticked) {
    HWND box =
        make(WC_BUTTONW, caption, BS_AUTOCHECKBOX | WS_TABSTOP, GroupBox3, 7, top, 150, 17, font_regular);
    SendMessageW(box, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
    return box;
  };
  auto progress_bar = [&](int top, int height) {
    HWND bar = make(PROGRESS_CLASSW, nullptr, 0, window, 0, top, client_width, height, font_regular);
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    return bar;
  };
  auto panel = [&](int top, int height) {
    return make(L"TPanel", nullptr, 0, window, 0, top, client_width, height, font_regular);
  };

  banner_bitmap = load_png_resource(instance, IDR_BANNER);
  Image1 = make(WC_STATICW, nullptr, SS_OWNERDRAW, window, 0, 0, client_width, 80, font_regular);

  GroupBox1 = group_box(L"Tipo de Instalação", 0, 80, 193, 63);
  ComboBox1 = make(WC_COMBOBOXW, nullptr, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, GroupBox1,
                   3, 24, 174, 200, font_bold_16);
  SendMessageW(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Servidor"));
  SendMessageW(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Estação"));
  SetWindowTextW(ComboBox1, L"Selecione");

  GroupBox2 = group_box(L"Arquitetura Detectada", 0, 143, 190, 82);
  lblArquitetura = make(WC_STATICW, nullptr, SS_LEFT, GroupBox2, 37, 32, 140, 20, font_bold_16);

  GroupBox3 = group_box(nullptr, 196, 80, 169, 145);
  checkFirebird = check_box(L"Instalar Firebird", 11, true);
  checkVnc = check_box(L"Instalar UltraVNC", 33, true);
  checkIbo = check_box(L"Instalar IBO Console", 56, true);
  checkCaminhoBd = check_box(L"Configurar Caminho BD", 79, true);
  checkBaixarBD = check_box(L"Baixar Banco de Dados", 102, false);
  checkDll = check_box(L"Somente DLL", 124, false);
  SetWindowSubclass(checkDll, check_dll_procedure, 0, reinterpret_cast<DWORD_PTR>(this));

  lblStatus =
      make(WC_STATICW, nullptr, SS_LEFT | SS_NOPREFIX, window, 0, 237, client_width, 21, font_bold_19);

  // The bottom stack, from top 258 down to the lower edge.
  pbArquivo = progress_bar(258, 17);
  Panel2 = panel(275, 23);
  Label1 = make(WC_STATICW, L"Progresso Total", SS_LEFT, Panel2, 1, 5, 120, 14, font_bold);
  pbTotal = progress_bar(298, 26);
  Panel1 = panel(324, 50);
  btnInstalar = make(WC_BUTTONW, L"Instalar", BS_PUSHBUTTON | WS_TABSTOP, Panel1, 37, 14, 75, 25, font_bold);
  btnFechar = make(WC_BUTTONW, L"Fechar", BS_PUSHBUTTON | WS_TABSTOP, Panel1, 250, 14, 75, 25, font_bold);
}

void register_window_classes(HINSTANCE instance, WNDPROC form_procedure) {
  WNDCLASSW form{};
  if (!GetClassInfoW(instance, L"TForm1", &form)) {
    form.lpfnWndProc = form_procedure;
    form.hInstance = instance;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_INSTALLER));
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = L"TForm1";
    RegisterClassW(&form);
  }
  WNDCLASSW panel{};
  if (!GetClassInfoW(instance, L"TPanel", &panel)) {
    panel.lpfnWndProc = panel_procedure;
    panel.cbWndExtra = sizeof(HFONT);
    panel.hInstance = instance;
    panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    panel.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    panel.lpszClassName = L"TPanel";
    RegisterClassW(&panel);
  }
}

RECT centred_window_rect(DWORD style) {
  RECT area{0, 0, client_width, client_height};
  AdjustWindowRectEx(&area, style, FALSE, 0);
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  return {left, top, left + width, top + height};
}
