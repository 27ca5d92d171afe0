#include "demo_catalogue.h"

#include "file_sha256.h"
#include "zip_writer.h"

#include <fstream>
#include <vector>

namespace {

struct DemoEntry {
  const char *check_id;
  const char *arquivo;
  const char *local;
  const char *atalho;
  const char *nome_atalho;
  const char *instalacao;
  const char *servidor_terminal;
};

// Every location code, entries with and without shortcuts, server-only, workstation-only and common
// rows, libraries among other files, and one row that is not to be installed.
const DemoEntry demo_entries[] = {
    {"1001", "Velacorte.exe", "c:\\Velacorte", "c:\\Velacorte\\Velacorte.exe", "Velacorte", "S", "*"},
    {"1002", "VelacorteServidor.exe", "c:\\Velacorte", "c:\\Velacorte\\VelacorteServidor.exe",
     "Velacorte Servidor", "S", "S"},
    {"1003", "VelacorteEstacao.exe", "c:\\Velacorte", "c:\\Velacorte\\VelacorteEstacao.exe",
     "Velacorte Estação", "S", "T"},
    {"1004", "midas.dll", "system", "", "", "S", "*"},
    {"1005", "dbexpint.dll", "system", "", "", "S", "S"},
    {"1006", "fbclient.dll", "system", "", "", "S", "T"},
    {"1007", "rave.dll", "pfiles\\Velacorte", "", "", "S", "*"},
    {"1008", "Manual.pdf", "pfiles\\Velacorte\\Docs", "", "", "S", "*"},
    {"1009", "Leia-me.txt", "desktop", "", "", "S", "*"},
    {"1010", "Relatorios.rav", "c:\\Velacorte\\Relatorios", "", "", "S", "*"},
    {"1011", "Parametros.dat", "c:\\velacorte\\dados", "", "", "S", "*"},
    {"1012", "Tabelas.dat", "c:\\velacorte\\dados", "", "", "S", "*"},
    {"1013", "Etiquetas.dat", "C:\\Velacorte\\Dados", "", "", "S", "*"},
    {"1014", "Antigo.dll", "system", "", "", "N", "*"},
    {"1015", "Utilitarios.exe", "c:\\Velacorte\\Utilitarios", "c:\\Velacorte\\Utilitarios\\Utilitarios.exe",
     "Utilitários Velacorte", "S", "S"},
};

std::string sql_literal(const std::string &value) {
  std::string out = "'";
  for (char c : value)
    out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string stand_in(const std::string &name) {
  return "Velacorte demo: " + name + "\r\n";
}

void write_archive(const std::filesystem::path &path, const std::vector<ZipEntry> &entries) {
  if (std::filesystem::exists(path))
    return;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  std::string bytes = zip_archive(entries);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// `row_key`: the engine's declaration of a row number that an insert may leave out.
std::string sample_table(const std::string &row_key) {
  return R"(
DROP TABLE IF EXISTS produtos;
CREATE TABLE produtos (
  id )" + row_key +
         R"(, codigo BIGINT, descricao VARCHAR(40), unidade CHAR(2), preco DECIMAL(10,2),
  peso DOUBLE, validade DATE, cadastro DATETIME, hora TIME, ativo TINYINT, observacao TEXT, foto BLOB);
INSERT INTO produtos VALUES
  (1, 7891000100103, 'Dipirona 500mg', 'CX', 12.5, 0.25, '2026-03-31', '2024-01-15 08:30:00', '08:30:00', 1,
   'Analgésico e antitérmico', X'89504E470D0A1A0A'),
  (2, 7896004700014, 'Soro fisiológico', 'FR', 4.9, 0.5, '2025-12-01', '2024-02-20 14:05:09', '14:05:09', 1,
   NULL, NULL),
  (3, 7891058001155, 'Vitamina C', 'UN', 23, 0.1, NULL, '2024-03-01 00:00:00', '00:00:00', 0, '', X'');
)";
}

} // namespace

void build_demo_catalogue(Database &database, const std::filesystem::path &files, const std::string &base_url,
                          bool with_sha256) {
  std::string script = "DROP TABLE IF EXISTS sistema.check_files;"
                       "CREATE TABLE sistema.check_files (check_id VARCHAR(20), arquivo VARCHAR(60), "
                       "local VARCHAR(120), atalho VARCHAR(120), nome_atalho VARCHAR(60), link VARCHAR(250), "
                       "instalacao CHAR(1), servidor_terminal CHAR(1)" +
                       std::string(with_sha256 ? ", sha256 CHAR(64)" : "") + ");";
  for (const DemoEntry &entry : demo_entries) {
    std::string link = base_url + "/site/arquivos/produto/" + entry.check_id + ".zip";
    std::filesystem::path archive = files / "produto" / (std::string(entry.check_id) + ".zip");
    write_archive(archive, {{entry.arquivo, stand_in(entry.arquivo)}});
    script += "INSERT INTO sistema.check_files VALUES (" + sql_literal(entry.check_id) + "," +
              sql_literal(entry.arquivo) + "," + sql_literal(entry.local) + "," + sql_literal(entry.atalho) +
              "," + sql_literal(entry.nome_atalho) + "," + sql_literal(link) + "," +
              sql_literal(entry.instalacao) + "," + sql_literal(entry.servidor_terminal) +
              (with_sha256 ? "," + sql_literal(file_sha256(archive)) : "") + ");";
  }
  database.exec(script);
  database.exec(sample_table(database.row_key_declaration()));

  std::filesystem::path instaladores = files / "instaladores";
  write_archive(instaladores / "Velacorte6.zip", {{"Velacorte6.fdb", stand_in("Velacorte6.fdb")}});
  write_archive(instaladores / "nfe2" / "nfe2.zip", {{"capicom/capicom.dll", stand_in("capicom.dll")},
                                                     {"capicom/msxml5.dll", stand_in("msxml5.dll")},
                                                     {"capicom/msxml5r.dll", stand_in("msxml5r.dll")},
                                                     {"schemas/nfe_v2.00.xsd", stand_in("nfe_v2.00.xsd")}});
  for (const char *setup : {"Firebird-2.5.2_Win32", "Firebird-2.5.2_x64"})
    write_archive(instaladores / (std::string(setup) + ".zip"),
                  {{std::string(setup) + ".exe", stand_in(std::string(setup) + ".exe")}});
}
