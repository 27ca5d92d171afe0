#pragma once

// What velacorte-unzip itself says, in Portuguese like the other support tool, dataxml. The
// failures it passes on come from the unpacking routine.

#include <cinttypes>

namespace messages {

inline constexpr char usage[] =
    "uso: velacorte-unzip [-n | -o] ZIP PASTA   desempacota o arquivo ZIP em PASTA\n"
    "     velacorte-unzip -l ZIP                lista as entradas\n"
    "     velacorte-unzip -t ZIP                testa cada entrada e seu CRC, sem gravar nada\n"
    "     velacorte-unzip --help\n"
    "\n"
    "Um arquivo da pasta que difere do arquivo do ZIP interrompe o desempacotamento antes que algo\n"
    "seja gravado, a não ser com -o (substitui o arquivo) ou -n (mantém o arquivo). Um\n"
    "desempacotamento que falha ou é interrompido deixa a pasta como estava.\n";

// The listing: a header, a line an entry (sizes, date, name) and the totals.
inline constexpr char list_header[] = "%12s  %12s  %-16s  %s\n";
inline constexpr char size_column[] = "Tamanho";
inline constexpr char compressed_column[] = "Compactado";
inline constexpr char date_column[] = "Data       Hora";
inline constexpr char name_column[] = "Nome";
inline constexpr char list_line[] = "%12" PRIu64 "  %12" PRIu64 "  %-16s  %s\n";
inline constexpr char list_totals[] = "%12" PRIu64 "  %12" PRIu64 "  %-16s  %zu entradas\n";

// testar ARQUIVO: N entradas, nenhuma falha
inline constexpr char check_passed[] = "testar %s: %zu entradas, nenhuma falha\n";
// The line of progress on a terminal: percent, megabytes done, megabytes in all.
inline constexpr char progress[] = "\rvelacorte-unzip: %3d%% (%" PRIu64 " de %" PRIu64 " MB)";
inline constexpr char failure[] = "velacorte-unzip: %s\n";
inline constexpr char interrupted[] = "\nvelacorte-unzip: %s\n";

} // namespace messages
