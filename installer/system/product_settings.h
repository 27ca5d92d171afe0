#pragma once

#include <cstddef>

// Network name of the shop's server machine, through which the workstations reach its databases and
// photo folders.
inline constexpr char kServerHostName[] = "SERVIDOR";

// Writes the nine values of the product settings key (HKEY_CURRENT_USER\VELACORTE) for a server or a
// workstation installation, in their fixed order; how many it wrote. Throws Exception "Failed to set
// data for '<value>'" when the key cannot be opened or a value cannot be written; values written before
// it stay.
size_t write_product_settings(bool server);
