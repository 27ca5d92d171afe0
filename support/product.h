#pragma once

// The product's fixed places and names, for every program of the product and for the scripts that need
// them (they read this file). Each path keeps the spelling that the product has always written and
// logged; Windows compares paths without regard to letter case.

#include <string_view>

namespace product {

inline constexpr const char *kFolder = "C:\\Velacorte";
// Where archives are fetched and unpacked.
inline constexpr char kTemporaryFolder[] = "c:\\Velacorte\\tmp";
// The shop's data folder, as the file list names it.
inline constexpr char kDataFolder[] = "c:\\velacorte\\dados";
// Where the setup programs of the optional components are unpacked and started.
inline constexpr char kSetupFolder[] = "c:\\install";
inline constexpr char kNfeFolder[] = "c:\\Velacorte\\Nfe2";
// The sample database that a server installation may fetch; an existing one is never replaced.
inline constexpr char kSampleDatabase[] = "c:\\Velacorte\\Dados\\Velacorte6.fdb";
inline constexpr char kProgram[] = "c:\\Velacorte\\Velacorte.exe";
inline constexpr char kUninstaller[] = "c:\\Velacorte\\Uninstall.exe";
inline constexpr char kInstallLog[] = "c:\\Velacorte\\Install.log";
inline constexpr char kManifest[] = "c:\\Velacorte\\Install.manifest";

// The product configuration file and its TOKEN section, with the credentials a new installation gets.
inline constexpr char kTokenFile[] = "c:\\velacorte\\velacorte.ini";
inline constexpr char kTokenSection[] = "TOKEN";
inline constexpr char kDefaultTokenId[] = "U5A1C0E97B4D";
inline constexpr char kDefaultTokenSenha[] = "1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A";
// What the query service takes the default token for: the user that the ID rule makes of its ID, and
// its SENHA.
inline constexpr char kDefaultCredentials[] = "06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A";
static_assert(std::string_view(kDefaultCredentials).ends_with(kDefaultTokenSenha));

// The uninstall entry below HKEY_LOCAL_MACHINE, and its name in logs and manifests.
inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte";
inline constexpr char kUninstallEntryName[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte";
// The product settings key below HKEY_CURRENT_USER.
inline constexpr char kSettingsKey[] = "VELACORTE";
inline constexpr char kSettingsKeyName[] = "HKEY_CURRENT_USER\\VELACORTE";

// One installer or uninstaller at a time: every session sees this name.
inline constexpr char kInstallerMutex[] = "Global\\VelacorteInstall";

// The fixed folder tree on drive C:, which the installer creates before the first product file and the
// uninstaller removes once empty (the data folder excepted). The letter case of each name is the one
// folders are created with.
inline constexpr const char *kFolderTree[] = {
    "C:\\Velacorte\\Dados",
    "C:\\Velacorte\\Dados\\Fotos\\Clientes",
    "C:\\Velacorte\\Dados\\Fotos\\Dependentes",
    "C:\\Velacorte\\Dados\\Fotos\\Vendedores",
    "C:\\Velacorte\\nfce",
    "C:\\Velacorte\\nfce\\Schemas\\ve200",
    "C:\\Velacorte\\nfce\\Schemas\\ve300",
    "C:\\Velacorte\\nfce\\Schemas\\ve310",
    "C:\\Velacorte\\NFE2",
    "C:\\Velacorte\\NFE2\\Paf",
    "C:\\Velacorte\\NFE2\\Capicom",
    "C:\\Velacorte\\NFE2\\Certificados",
    "C:\\Velacorte\\NFE2\\Certificados\\Certificado Caixa",
    "C:\\Velacorte\\NFE2\\Certificados\\Chave_Publica_Nfe",
    "C:\\Velacorte\\NFE2\\DPEC",
    "C:\\Velacorte\\NFE2\\Report",
    "C:\\Velacorte\\NFE2\\Schemas\\ve200",
    "C:\\Velacorte\\NFE2\\Schemas\\ve300",
    "C:\\Velacorte\\NFE2\\Schemas\\ve310",
    "C:\\Velacorte\\NFE2\\Url",
    "C:\\Velacorte\\NFE2\\XML",
    "C:\\Velacorte\\NFE2\\XMLNFE",
    "C:\\Velacorte\\NFE2\\CONSNFE",
    "C:\\Velacorte\\NFE2\\INUTNFE",
    "C:\\Velacorte\\NFE2\\DPECNFE",
    "C:\\Velacorte\\NFE2\\PDF",
    "C:\\Velacorte\\BkpUpdate",
    "C:\\Velacorte\\BkpSNGPC",
    "C:\\Velacorte\\paf",
    "C:\\Velacorte\\ecfs",
    "C:\\Velacorte\\Febrafar",
    "C:\\SPED",
};

} // namespace product
