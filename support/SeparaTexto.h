#pragma once

#include "TextList.h"

#include <string_view>

// Cuts `texto` into pieces at `separador` into a new list stored in `lista` (insertion order when
// `manterOrdem`, else sorted). One leading separator is skipped; a closing one adds no empty piece;
// pieces are never trimmed. False, with an empty list, when the text holds nothing above code 32.
bool SeparaTexto(std::string_view texto, char32_t separador, TextList &lista, bool manterOrdem);
