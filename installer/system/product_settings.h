#pragma once

// Network name of the shop's server machine, through which the workstations reach its databases and
// photo folders.
inline constexpr char kServerHostName[] = "SERVIDOR";

// Writes the nine values of the product settings key (HKEY_CURRENT_USER\VELACORTE) for a server or a
// workstation installation, in their fixed order. Throws Exception "Failed to set data for '<value>'"
// when the key cannot be opened or a value cannot be written; values written before it stay.
void write_product_settings(bool server);
