// TForm1's operations on the machine, each done by its room in system/.
#include "Unit1.h"

#include "folders.h"
#include "shortcut.h"
#include "uninstall_entry.h"
#include "windows_version.h"

int TForm1::version_info() {
  return static_cast<int>(windows_version().dwMajorVersion);
}

std::string TForm1::trata_local(const std::string &local) {
  return target_folder(local, window);
}

void TForm1::criaPastas() {
  create_folder_tree(Record);
}

void TForm1::criaChaveInstalacao(const std::string &Versao) {
  write_uninstall_entry(Versao, Log, Record);
}

bool TForm1::cria_atalho(const std::string &path_file_name, const std::string &name) {
  return make_desktop_shortcut(path_file_name, name, Record);
}
