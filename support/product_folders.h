#pragma once

// The product's fixed folder tree on drive C:, which the installer creates before the first product
// file and the uninstaller removes once empty (the data folder "C:\Velacorte\Dados" excepted). The
// letter case of each name is the one folders are created with.

namespace product {

inline constexpr const char *kFolder = "C:\\Velacorte";

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
