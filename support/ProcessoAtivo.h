#pragma once

#include <string_view>

// True when a running process has the program name `nome` (UTF-8): its program file's last
// component, or the whole program file, equal to the name with the letters a-z compared without
// regard to case and every other character exactly.
bool ProcessoAtivo(std::string_view nome);
