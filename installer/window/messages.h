#pragma once

// What Install.exe says to the person at the window: its boxes, its questions and its status line, in
// one place. The log's lines name their operation and object where they are written.

namespace message {

// Boxes.
inline constexpr wchar_t kChooseType[] = L"Por Favor Selecione o Tipo de Instalação";
inline constexpr char kUnexpectedFailure[] = "Erro inesperado";
// The summary box of a run with failures.
inline constexpr char kNotPlacedHeading[] = "Arquivos não instalados:";
inline constexpr char kLogIsAt[] = "Registro: ";

// Questions after three failed attempts in a row; only Yes tries again.
inline constexpr wchar_t kRetryDownload[] = L"Falha ao baixar o arquivo, tentar novamente?";
inline constexpr wchar_t kRetryDatabase[] = L"Erro baixando o banco de dados!";
inline constexpr wchar_t kRetryFirebird[] = L"Erro Baixando Firebird, tentar novamente?";

// The status line, step by step.
inline constexpr char kDownloadingFile[] = "Baixando Arquivo: ";
inline constexpr char kCopyingFile[] = "Copiando Arquivo: ";
inline constexpr char kDownloadingDatabase[] = "Baixando Banco de Dados";
inline constexpr char kDownloadingNfe[] = "Baixando Arquivos para NF-e";
inline constexpr char kRegisteringLibraries[] = "Registrando DLL";
inline constexpr char kDownloadingFirebird[] = "Baixando Firebird";
inline constexpr char kInstallingFirebird[] = "Instalando Firebird";
inline constexpr char kInstallingUltraVnc[] = "Instalando UltraVNC";
inline constexpr char kInstallingIboConsole[] = "Instalando IBOConsole";
inline constexpr char kConfiguring[] = "Configurando";
inline constexpr wchar_t kCompleted[] = L"Concluído";
inline constexpr wchar_t kCompletedWithFailures[] = L"Concluído com falhas";

} // namespace message
