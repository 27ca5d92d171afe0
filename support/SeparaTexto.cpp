#include "SeparaTexto.h"

#include "text.h"

bool SeparaTexto(std::string_view texto, char32_t separador, TextList &lista, bool manterOrdem) {
  lista = TextList(manterOrdem ? TextList::Order::Insertion : TextList::Order::Sorted);
  if (text::trim_controls(texto).empty())
    return false;

  // UTF-8 is self-synchronising, so the encoded separator only matches at character boundaries.
  std::string sep;
  text::append_utf8(sep, separador);
  std::string_view rest = texto;
  if (rest.starts_with(sep))
    rest.remove_prefix(sep.size());
  for (size_t cut; (cut = rest.find(sep)) != std::string_view::npos;) {
    lista.Add(rest.substr(0, cut));
    rest.remove_prefix(cut + sep.size());
  }
  if (!rest.empty())
    lista.Add(rest);
  return true;
}
