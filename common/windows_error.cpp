#include "windows_error.h"

#include <cstdio>

namespace {

struct Known {
  DWORD code;
  const char *text;
};

// Portuguese for the codes that a technician meets when files, folders, keys and shell objects fail.
// Windows' own texts come in the language of the machine's Windows, and the log must read the same
// everywhere.
constexpr Known kKnown[] = {
    {ERROR_FILE_NOT_FOUND, "arquivo não encontrado"},
    {ERROR_PATH_NOT_FOUND, "caminho não encontrado"},
    {ERROR_TOO_MANY_OPEN_FILES, "arquivos abertos demais"},
    {ERROR_ACCESS_DENIED, "acesso negado"},
    {ERROR_INVALID_HANDLE, "identificador inválido"},
    {ERROR_NOT_ENOUGH_MEMORY, "memória insuficiente"},
    {ERROR_OUTOFMEMORY, "memória insuficiente"},
    {ERROR_INVALID_DRIVE, "unidade não encontrada"},
    {ERROR_WRITE_PROTECT, "disco protegido contra gravação"},
    {ERROR_NOT_READY, "unidade não está pronta"},
    {ERROR_USER_MAPPED_FILE, "em uso"},
    {ERROR_HANDLE_DISK_FULL, "disco cheio"},
    {ERROR_DISK_FULL, "disco cheio"},
    {ERROR_BAD_NETPATH, "caminho de rede não encontrado"},
    {ERROR_NETWORK_ACCESS_DENIED, "acesso à rede negado"},
    {ERROR_FILE_EXISTS, "já existe"},
    {ERROR_ALREADY_EXISTS, "já existe"},
    {ERROR_INVALID_PARAMETER, "parâmetro inválido"},
    {ERROR_INVALID_NAME, "nome inválido"},
    {ERROR_DIR_NOT_EMPTY, "pasta não vazia"},
    {ERROR_FILENAME_EXCED_RANGE, "nome longo demais"},
    {ERROR_DIRECTORY, "não é uma pasta"},
    {ERROR_FILE_CORRUPT, "arquivo corrompido"},
    {ERROR_CANNOT_MAKE, "não foi possível criar"},
    {ERROR_BADKEY, "chave inválida"},
    {ERROR_CANTOPEN, "a chave não abre"},
    {ERROR_CANTWRITE, "a chave não aceita gravação"},
    {ERROR_KEY_DELETED, "chave apagada"},
    {static_cast<DWORD>(REGDB_E_CLASSNOTREG), "classe não registrada"},
    {static_cast<DWORD>(E_NOINTERFACE), "interface não suportada"},
    {static_cast<DWORD>(CO_E_NOTINITIALIZED), "COM não iniciado"},
    {static_cast<DWORD>(E_OUTOFMEMORY), "memória insuficiente"},
    {static_cast<DWORD>(E_ACCESSDENIED), "acesso negado"},
    {static_cast<DWORD>(E_FAIL), "falha sem detalhe"},
};

} // namespace

std::string windows_error_text(DWORD error) {
  // "Em uso" is the whole reason: the file is named by whoever reports it.
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
    return "em uso";
  char code[32];
  // An HRESULT reads as one, in hexadecimal; a system error code in decimal.
  if (error & 0x80000000)
    std::snprintf(code, sizeof(code), "erro 0x%08lx", static_cast<unsigned long>(error));
  else
    std::snprintf(code, sizeof(code), "erro %lu", static_cast<unsigned long>(error));
  for (const Known &known : kKnown)
    if (known.code == error)
      return std::string(known.text) + " (" + code + ")";
  return code;
}
