#pragma once

// Resource identifiers of the installer window.
#define IDR_BANNER 101
