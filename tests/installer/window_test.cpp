// The installer window read back through Win32: controls, texts, fonts, states, rules and reports.
#include "Exception.h"
#include "Unit1.h"
#include "application.h"
#include "capture.h"
#include "message_box_watcher.h"
#include "resource.h"
#include "test_run.h"
#include "text.h"
#include "window_text.h"

#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The control's rectangle in its parent's client coordinates.
RECT placement(HWND control) {
  RECT area;
  GetWindowRect(control, &area);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT *>(&area), 2);
  return area;
}

LOGFONTW font_of(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
  return font;
}

bool ticked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
void set_ticked(HWND box, bool on) {
  SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}
void click(HWND button) {
  SendMessageW(button, BM_CLICK, 0, 0);
}

class Window : public ::testing::Test {
protected:
  void SetUp() override {
    CoInitialize(nullptr);
    // Hidden unless a test looks at the screen: taking a shown window down costs Wine seconds under Xvfb.
    form = std::make_unique<TForm1>(GetModuleHandleW(nullptr));
    test_run = [this](TForm1 &) { ++runs; };
  }
  void TearDown() override {
    test_run = nullptr;
    form.reset();
    CoUninitialize();
  }
  std::vector<HWND> options() const {
    return {form->checkFirebird, form->checkVnc, form->checkIbo, form->checkCaminhoBd, form->checkBaixarBD};
  }
  std::unique_ptr<TForm1> form;
  int runs = 0;
};

TEST_F(Window, FrameIsCentredWithItsCaptionAndClientArea) {
  HWND window = form->Handle();
  EXPECT_EQ(class_of(window), L"TForm1");
  EXPECT_EQ(text_of(window), L"Instalador Velacorte");
  EXPECT_EQ(GetParent(window), nullptr);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 360);
  EXPECT_EQ(client.bottom, 374);
  RECT frame;
  GetWindowRect(window, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  EXPECT_EQ(static_cast<COLORREF>(GetClassLongPtrW(window, GCLP_HBRBACKGROUND)), COLORREF(COLOR_BTNFACE + 1));
}

TEST_F(Window, CarriesTheProgramsOwnIcon) {
  auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(form->Handle(), GCLP_HICON));
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(icon, LoadIconW(nullptr, IDI_APPLICATION));
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour{};
  GetObjectW(info.hbmColor, sizeof(colour), &colour);
  EXPECT_EQ(colour.bmWidth, GetSystemMetrics(SM_CXICON));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  EXPECT_NE(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_INSTALLER), RT_GROUP_ICON),
            nullptr);
}

TEST_F(Window, ControlsHaveTheirParentCaptionPlacementAndFont) {
  HWND window = form->Handle();
  struct Expected {
    const char *member;
    HWND control;
    const wchar_t *kind;
    HWND parent;
    const wchar_t *caption;
    int left, top, width, height; // -1: the size is the control's own
    int font_height;
    bool bold;
  };
  const Expected table[] = {
      {"Image1", form->Image1, L"Static", window, L"", 0, 0, 360, 80, 11, false},
      {"GroupBox1", form->GroupBox1, L"Button", window, L"Tipo de Instalação", 0, 80, 193, 63, 11, false},
      {"ComboBox1", form->ComboBox1, L"ComboBox", form->GroupBox1, L"Selecione", 3, 24, 174, -1, 16, true},
      {"GroupBox2", form->GroupBox2, L"Button", window, L"Arquitetura Detectada", 0, 143, 190, 82, 11, false},
      {"lblArquitetura", form->lblArquitetura, L"Static", form->GroupBox2, L"64 Bits", 37, 32, -1, -1, 16,
       true},
      {"GroupBox3", form->GroupBox3, L"Button", window, L"", 196, 80, 169, 145, 11, false},
      {"checkFirebird", form->checkFirebird, L"Button", form->GroupBox3, L"Instalar Firebird", 7, 11, -1, -1,
       11, false},
      {"checkVnc", form->checkVnc, L"Button", form->GroupBox3, L"Instalar UltraVNC", 7, 33, -1, -1, 11,
       false},
      {"checkIbo", form->checkIbo, L"Button", form->GroupBox3, L"Instalar IBO Console", 7, 56, -1, -1, 11,
       false},
      {"checkCaminhoBd", form->checkCaminhoBd, L"Button", form->GroupBox3, L"Configurar Caminho BD", 7, 79,
       -1, -1, 11, false},
      {"checkBaixarBD", form->checkBaixarBD, L"Button", form->GroupBox3, L"Baixar Banco de Dados", 7, 102, -1,
       -1, 11, false},
      {"checkDll", form->checkDll, L"Button", form->GroupBox3, L"Somente DLL", 7, 124, -1, -1, 11, false},
      {"lblStatus", form->lblStatus, L"Static", window, L"", 0, 237, -1, -1, 19, true},
      {"pbArquivo", form->pbArquivo, PROGRESS_CLASSW, window, L"", 0, 258, 360, 17, 11, false},
      {"Panel2", form->Panel2, L"TPanel", window, L"", 0, 275, 360, 23, 11, false},
      {"Label1", form->Label1, L"Static", form->Panel2, L"Progresso Total", 1, 5, -1, -1, 11, true},
      {"pbTotal", form->pbTotal, PROGRESS_CLASSW, window, L"", 0, 298, 360, 26, 11, false},
      {"Panel1", form->Panel1, L"TPanel", window, L"", 0, 324, 360, 50, 11, false},
      {"btnInstalar", form->btnInstalar, L"Button", form->Panel1, L"Instalar", 37, 14, 75, 25, 11, true},
      {"btnFechar", form->btnFechar, L"Button", form->Panel1, L"Fechar", 250, 14, 75, 25, 11, true},
  };
  for (const Expected &e : table) {
    SCOPED_TRACE(e.member);
    ASSERT_NE(e.control, nullptr);
    EXPECT_EQ(_wcsicmp(class_of(e.control).c_str(), e.kind), 0) << class_of(e.control);
    EXPECT_EQ(GetParent(e.control), e.parent);
    EXPECT_EQ(text_of(e.control), e.caption);
    EXPECT_TRUE(GetWindowLongW(e.control, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(IsWindowEnabled(e.control));
    RECT at = placement(e.control);
    EXPECT_EQ(at.left, e.left);
    EXPECT_EQ(at.top, e.top);
    if (e.width >= 0) {
      EXPECT_EQ(at.right - at.left, e.width);
    }
    if (e.height >= 0) {
      EXPECT_EQ(at.bottom - at.top, e.height);
    }
    LOGFONTW font = font_of(e.control);
    EXPECT_STREQ(font.lfFaceName, L"Tahoma");
    EXPECT_EQ(font.lfHeight, -e.font_height);
    EXPECT_EQ(font.lfWeight, e.bold ? FW_BOLD : FW_NORMAL);
  }
}

TEST_F(Window, ControlsStartInTheirInitialState) {
  EXPECT_EQ(GetWindowLongW(form->ComboBox1, GWL_STYLE) & 3, CBS_DROPDOWN); // an editable text field
  ASSERT_EQ(SendMessageW(form->ComboBox1, CB_GETCOUNT, 0, 0), 2);
  const wchar_t *items[] = {L"Servidor", L"Estação"};
  for (int i = 0; i < 2; ++i) {
    wchar_t item[32] = {};
    SendMessageW(form->ComboBox1, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, items[i]);
  }
  struct Box {
    HWND control;
    bool ticked;
  };
  for (Box box :
       {Box{form->checkFirebird, true}, Box{form->checkVnc, true}, Box{form->checkIbo, true},
        Box{form->checkCaminhoBd, true}, Box{form->checkBaixarBD, false}, Box{form->checkDll, false}}) {
    SCOPED_TRACE(text_of(box.control).size());
    EXPECT_EQ(ticked(box.control), box.ticked);
  }
  for (HWND bar : {form->pbArquivo, form->pbTotal}) {
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  }
  // FormCreate: this 64-bit program runs on a Windows with c:\windows\sysWOW64.
  EXPECT_EQ(text_of(form->lblArquitetura), L"64 Bits");
  EXPECT_EQ(text_of(form->lblStatus), L"");
  EXPECT_EQ(form->versaoVelacorte, "7.7.0.0");
}

TEST_F(Window, LabelsTakeTheirColoursThroughTheirParents) {
  HDC dc = CreateCompatibleDC(nullptr);
  struct Label {
    HWND control;
    COLORREF colour;
  };
  for (Label label : {Label{form->lblArquitetura, RGB(0, 0, 255)}, Label{form->lblStatus, RGB(255, 0, 0)}}) {
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(GetParent(label.control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(label.control));
    EXPECT_EQ(GetTextColor(dc), label.colour);
  }
  DeleteDC(dc);
}

TEST_F(Window, SomenteDllClearsTheFiveOptionsOnlyWhenTicked) {
  auto states = [&] {
    std::vector<bool> now;
    for (HWND box : options())
      now.push_back(ticked(box));
    return now;
  };
  // Ticking by a click and by the program both apply the rule.
  for (bool by_click : {true, false}) {
    SCOPED_TRACE(by_click ? "click" : "program");
    set_ticked(form->checkDll, false);
    for (HWND box : options())
      set_ticked(box, true);
    if (by_click)
      click(form->checkDll);
    else
      set_ticked(form->checkDll, true);
    EXPECT_TRUE(ticked(form->checkDll));
    EXPECT_EQ(states(), std::vector<bool>(5, false));

    // The operator may tick an option again while "Somente DLL" stays ticked.
    click(form->checkFirebird);
    EXPECT_EQ(states(), (std::vector<bool>{true, false, false, false, false}));

    // Clearing "Somente DLL" changes nothing else.
    if (by_click)
      click(form->checkDll);
    else
      set_ticked(form->checkDll, false);
    EXPECT_FALSE(ticked(form->checkDll));
    EXPECT_EQ(states(), (std::vector<bool>{true, false, false, false, false}));
  }
}

TEST_F(Window, InstalarChecksTheTypeBeforeTheRun) {
  struct Case {
    const wchar_t *type;
    bool runs;
  };
  const Case table[] = {
      {L"Selecione", false}, {L"servidor", false}, {L"Servidor ", false}, {L"Estacao", false},
      {L"", false},          {L"Servidor", true},  {L"Estação", true},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(testing::Message() << "type #" << (&c - table));
    SetWindowTextW(form->ComboBox1, c.type);
    runs = 0;
    MessageBoxWatcher box;
    click(form->btnInstalar);
    box.stop();
    EXPECT_EQ(runs, c.runs ? 1 : 0);
    EXPECT_EQ(box.seen, !c.runs);
    if (box.seen) {
      EXPECT_EQ(box.owner, nullptr);
      EXPECT_EQ(box.text, L"Por Favor Selecione o Tipo de Instalação");
      EXPECT_EQ(box.title, L"");
      EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_INFORMATION));
      EXPECT_EQ(box.buttons, 1);
    }
    EXPECT_EQ(text_of(form->ComboBox1), c.type);
  }
}

TEST_F(Window, PickedItemStartsTheRun) {
  SendMessageW(form->ComboBox1, CB_SETCURSEL, 1, 0);
  click(form->btnInstalar);
  EXPECT_EQ(runs, 1);
}

TEST_F(Window, InstalarIsDisabledWhileTheRunGoesOn) {
  SetWindowTextW(form->ComboBox1, L"Servidor");
  bool enabled_during_run = true;
  test_run = [&](TForm1 &running) {
    ++runs;
    enabled_during_run = IsWindowEnabled(running.btnInstalar);
    click(running.btnInstalar); // a press that reaches the handler all the same
    running.status("Baixando Arquivo: teste");
  };
  click(form->btnInstalar);
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(enabled_during_run);
  EXPECT_TRUE(IsWindowEnabled(form->btnInstalar));
  EXPECT_EQ(text_of(form->lblStatus), L"Baixando Arquivo: teste");
}

TEST_F(Window, FailureOfTheRunIsReportedAndTheWindowStays) {
  SetWindowTextW(form->ComboBox1, L"Estação");
  struct Case {
    const char *thrown;
    const wchar_t *shown;
  };
  const Case table[] = {
      {"Erro na execução do comando", L"Erro na execução do comando."},
      {"Nome do campo não foi encontrado.", L"Nome do campo não foi encontrado."}, // '.' is 46
      {"Falha!", L"Falha!"},                                                       // '!' is 33
      {"c:\\x/", L"c:\\x/."},                                                      // '/' is 47
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.thrown);
    test_run = [&](TForm1 &) { throw Exception(c.thrown); };
    MessageBoxWatcher box;
    click(form->btnInstalar);
    box.wait();
    ASSERT_TRUE(box.seen);
    // The run's failures name the install log after their text.
    EXPECT_EQ(box.text, std::wstring(c.shown) + L"\r\n\r\nRegistro: c:\\Velacorte\\Install.log");
    EXPECT_EQ(box.title, text::widen(application::title()));
    EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_ERROR));
    EXPECT_EQ(box.buttons, 1);
    EXPECT_TRUE(IsWindow(form->Handle()));
    EXPECT_TRUE(IsWindowEnabled(form->btnInstalar));
  }
  EXPECT_EQ(application::title(), "window_test");
}

TEST_F(Window, FileProgressFollowsTheLow32BitsOfTheCounts) {
  struct Case {
    int64_t size, count;
    int maximum, position;
  };
  const Case table[] = {
      {1000, 250, 1000, 250},
      {0, 0, 0, 0}, // a size the server does not announce
      {(int64_t(1) << 32) + 500, (int64_t(1) << 32) + 40, 500, 40},
  };
  for (const Case &c : table) {
    SendMessageW(form->pbArquivo, PBM_SETPOS, 77, 0);
    form->IdHTTP1WorkBegin(&form->IdHTTP1, wmRead, c.size);
    EXPECT_EQ(SendMessageW(form->pbArquivo, PBM_GETRANGE, FALSE, 0), c.maximum);
    EXPECT_EQ(SendMessageW(form->pbArquivo, PBM_GETPOS, 0, 0), 0);
    form->IdHTTP1Work(&form->IdHTTP1, wmRead, c.count);
    EXPECT_EQ(SendMessageW(form->pbArquivo, PBM_GETPOS, 0, 0), c.position);
  }
}

TEST_F(Window, ShowsItsBannerAndColouredLabels) {
  HBITMAP banner = form->banner();
  ASSERT_NE(banner, nullptr);
  DIBSECTION picture{};
  ASSERT_EQ(GetObjectW(banner, sizeof(picture), &picture), int(sizeof(picture)));
  EXPECT_EQ(picture.dsBm.bmWidth, 365);
  EXPECT_EQ(picture.dsBm.bmHeight, 79);

  form->Show(SW_SHOWNORMAL);
  form->status("Concluído");
  RedrawWindow(form->Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Capture shot = capture_client(form->Handle());
  ASSERT_EQ(shot.width, 360);
  ASSERT_EQ(shot.height, 374);
  EXPECT_TRUE(shot.save_png(ARTIFACT_FOLDER L"/installer-window.png"));

  // The banner is drawn from its top-left corner.
  const auto *bits = static_cast<const uint32_t *>(picture.dsBm.bmBits);
  for (POINT p : {POINT{5, 5}, POINT{100, 40}, POINT{330, 39}, POINT{359, 78}}) {
    uint32_t bgrx = bits[p.y * 365 + p.x];
    EXPECT_EQ(shot.at(p.x, p.y), RGB((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF))
        << p.x << "," << p.y;
  }
  auto has_colour = [&](HWND control, COLORREF colour) {
    RECT area;
    GetWindowRect(control, &area);
    MapWindowPoints(HWND_DESKTOP, form->Handle(), reinterpret_cast<POINT *>(&area), 2);
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right && x < shot.width; ++x)
        if (shot.at(x, y) == colour)
          return true;
    return false;
  };
  EXPECT_TRUE(has_colour(form->lblArquitetura, RGB(0, 0, 255)));
  EXPECT_TRUE(has_colour(form->lblStatus, RGB(255, 0, 0)));
}

// Last, in the order of this file: asking the application to end cannot be taken back within the program.
TEST_F(Window, FecharDuringARunLetsTheRunFinishThenEndsTheLoop) {
  SetWindowTextW(form->ComboBox1, L"Servidor");
  std::vector<std::wstring> steps;
  test_run = [&](TForm1 &running) {
    PostMessageW(running.Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                 reinterpret_cast<LPARAM>(running.btnFechar));
    running.status("Baixando Arquivo: a");
    steps.push_back(text_of(running.lblStatus));
    running.status("Concluído");
    steps.push_back(text_of(running.lblStatus));
  };
  click(form->btnInstalar);
  EXPECT_EQ(steps, (std::vector<std::wstring>{L"Baixando Arquivo: a", L"Concluído"}));
  EXPECT_TRUE(application::terminated());
  application::run(); // returns at once: the request to end outlived the run
  EXPECT_TRUE(IsWindow(form->Handle()));
}

TEST_F(Window, FecharAndTheFrameAskTheApplicationToEnd) {
  for (bool by_frame : {false, true}) {
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    if (by_frame)
      SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    else
      click(form->btnFechar);
    EXPECT_TRUE(application::terminated());
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_TRUE(IsWindow(form->Handle())); // the window goes when the message loop has ended
  }
}

} // namespace
