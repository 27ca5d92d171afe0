#pragma once

#include <windows.h>

#include <string>

// The text of a Windows error code or HRESULT for logs and reports, in Portuguese whatever the language
// of the machine's Windows: "em uso" for a file that another program holds (a sharing or lock
// violation), else the text of a known code with the code ("acesso negado (erro 5)"), or the code
// alone ("erro 1234").
std::string windows_error_text(DWORD error);
