#include "answers.h"

#include "text.h"

namespace {

const char *answer_name(int answer) {
  switch (answer) {
  case IDYES:
    return "Sim";
  case IDNO:
    return "Não";
  case IDCANCEL:
    return "Cancelar";
  }
  return "fechada";
}

} // namespace

Answers Answers::unattended(int rounds) {
  Answers answers;
  answers.rounds_ = rounds < 1 ? 1 : rounds;
  return answers;
}

int Answers::ask(InstallLog &log, const std::wstring &question, UINT icon, int rounds_had) const {
  std::string asked = "perguntar \"" + text::narrow(question) + "\": ";
  if (!unattended()) {
    int answer = MessageBoxW(nullptr, question.c_str(), L"", MB_YESNOCANCEL | icon);
    log.line(asked + answer_name(answer));
    return answer;
  }
  int answer = rounds_had < rounds_ ? IDYES : IDNO;
  log.line(asked + answer_name(answer) + " (sem operador, rodada " + std::to_string(rounds_had) + " de " +
           std::to_string(rounds_) + ")");
  return answer;
}

void Answers::tell(InstallLog &log, const std::wstring &message, UINT icon) const {
  if (!unattended()) {
    MessageBoxW(nullptr, message.c_str(), L"", MB_OK | icon);
    return;
  }
  log.line("mensagem (sem operador): " + text::narrow(message));
}
