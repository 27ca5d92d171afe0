#include "unattended_run.h"

#include "Unit1.h"
#include "application.h"
#include "run_outcome.h"
#include "text.h"

namespace {

const char *mode_name(RunMode mode) {
  return mode == RunMode::Silent ? "/SILENT" : "/VERYSILENT";
}

void set_tick(HWND box, bool ticked) {
  SendMessageW(box, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The boxes as the options list them. "Somente DLL" is ticked last and through the window, so that its
// rule acts as for a click.
void set_components(TForm1 &form, const std::array<bool, kComponents> &ticked) {
  HWND boxes[] = {form.checkFirebird, form.checkVnc, form.checkIbo, form.checkCaminhoBd, form.checkBaixarBD};
  for (size_t i = 0; i < std::size(boxes); ++i)
    set_tick(boxes[i], ticked[i]);
  set_tick(form.checkDll, ticked[static_cast<size_t>(Component::Dll)]);
  SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(form.checkDll), BN_CLICKED),
               reinterpret_cast<LPARAM>(form.checkDll));
}

} // namespace

int run_unattended(TForm1 &form, const InstallOptions &options) {
  form.answers = Answers::unattended(options.rounds);
  form.Log.line(std::string("modo sem operador: ") + mode_name(options.mode) + ", tipo " + options.type +
                ", tentativas " + std::to_string(options.rounds));
  SetWindowTextW(form.ComboBox1, text::widen(options.type).c_str());
  if (options.components)
    set_components(form, *options.components);
  try {
    form.btnInstalarClick(&form);
  } catch (const application::NotedFailure &failure) {
    form.answers.tell(form.Log, text::widen(std::string(failure.what()) + ". " + failure.note()),
                      MB_ICONERROR);
  } catch (const std::exception &failure) {
    form.answers.tell(form.Log, text::widen(failure.what()), MB_ICONERROR);
  }
  return exit_code(last_ending());
}
