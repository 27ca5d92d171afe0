#pragma once

// The installer window: its controls, their handlers and the operations of the installation run. Its
// operations hand the work to the rooms beside this one (net/, system/); the run itself, `instalacao`
// and `pathVelacorte`, is run/'s. Every step of the run reports to the window's install log, `Log`.

#include "HttpClient.h"
#include "answers.h"
#include "install_log.h"
#include "install_record.h"

#include <windows.h>

#include <cstdint>
#include <string>

class TForm1 {
public:
  // Creates the window with its controls in their initial state, then runs FormCreate. The window is
  // centred on the screen and stays hidden until Show. Every run appends to the install log at `log_path`.
  explicit TForm1(HINSTANCE instance, std::wstring log_path = InstallLog::kPath);
  ~TForm1();
  TForm1(const TForm1 &) = delete;
  TForm1 &operator=(const TForm1 &) = delete;

  void Show(int show_command);
  HWND Handle() const { return window; }
  // Empty once the window exists; otherwise the call that failed, with its error.
  const std::string &creation_failure() const { return creation_failure_; }

  // Controls, owned by the window.
  HWND Image1 = nullptr;
  HWND GroupBox1 = nullptr;
  HWND ComboBox1 = nullptr;
  HWND GroupBox2 = nullptr;
  HWND lblArquitetura = nullptr;
  HWND GroupBox3 = nullptr;
  HWND checkFirebird = nullptr;
  HWND checkVnc = nullptr;
  HWND checkIbo = nullptr;
  HWND checkCaminhoBd = nullptr;
  HWND checkBaixarBD = nullptr;
  HWND checkDll = nullptr;
  HWND lblStatus = nullptr;
  HWND pbArquivo = nullptr;
  HWND Panel2 = nullptr;
  HWND Label1 = nullptr;
  HWND pbTotal = nullptr;
  HWND Panel1 = nullptr;
  HWND btnInstalar = nullptr;
  HWND btnFechar = nullptr;
  // Carries every download and reports its progress to pbArquivo.
  HttpClient IdHTTP1;
  // Where every run reports what it did.
  InstallLog Log;
  // Who answers the run's questions: the operator, unless the run is unattended.
  Answers answers;
  // What every run created, for the uninstaller.
  InstallRecord Record;

  // The product version recorded in the uninstall entry.
  std::string versaoVelacorte;

  // Handlers. Sender is the object that raised the event; none of them looks at it.
  void FormCreate(void *Sender);
  void checkDllClick(void *Sender);
  void btnInstalarClick(void *Sender);
  void btnFecharClick(void *Sender);
  void IdHTTP1WorkBegin(void *ASender, TWorkMode AWorkMode, int64_t AWorkCountMax);
  void IdHTTP1Work(void *ASender, TWorkMode AWorkMode, int64_t AWorkCount);

  // The installation run, defined with the run's own files.
  void instalacao();
  // The product settings and the database user, defined with the run's own files.
  void pathVelacorte();

  // Downloads.
  bool baixar_arquivo(const std::string &link, const std::string &nome_arquivo, const std::string &destino,
                      const std::string &atalho, const std::string &nome_atalho);
  bool baixar_arquivo_destino(const std::string &link, const std::string &nome_arquivo,
                              const std::string &destino);

  // Target folders.
  std::string trata_local(const std::string &local);
  int version_info();

  // Folder tree, uninstall entry, shortcuts.
  void criaPastas();
  void criaChaveInstalacao(const std::string &Versao);
  bool cria_atalho(const std::string &path_file_name, const std::string &name);

  // The status line convention: sets the text of lblStatus, then processes every pending message.
  void status(const std::string &text);

  // The banner picture, decoded from the program's resources.
  HBITMAP banner() const { return banner_bitmap; }

private:
  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void create_controls(HINSTANCE instance);
  void command(HWND control, WORD notification);
  void check_dll_changed();

  HWND window = nullptr;
  std::string creation_failure_;
  HBITMAP banner_bitmap = nullptr;
  HFONT font_regular = nullptr;
  HFONT font_bold = nullptr;
  HFONT font_bold_16 = nullptr;
  HFONT font_bold_19 = nullptr;
  bool dll_ticked = false;
  bool running = false;
  // When a download's progress last let the window process its messages (GetTickCount64).
  ULONGLONG messages_processed_at = 0;

  friend LRESULT CALLBACK check_dll_procedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};
