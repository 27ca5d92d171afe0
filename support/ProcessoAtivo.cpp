#include "ProcessoAtivo.h"

#include "process_list.h"
#include "text.h"

bool ProcessoAtivo(std::string_view nome) {
  const std::string wanted = text::upper_ascii(nome);
  bool found = false;
  for_each_process([&](DWORD, std::wstring_view exe) {
    size_t cut = exe.find_last_of(L"\\:");
    std::wstring_view last = cut == std::wstring_view::npos ? exe : exe.substr(cut + 1);
    found = text::upper_ascii(text::narrow(last)) == wanted || text::upper_ascii(text::narrow(exe)) == wanted;
    return !found;
  });
  return found;
}
