#pragma once

// What Uninstall.exe says to the person at the machine, in one place.

namespace message {

inline constexpr wchar_t kTitle[] = L"Velacorte";
inline constexpr wchar_t kConfirmRemoval[] = L"Deseja remover o Velacorte deste computador?";
// Around the name of the product program that runs.
inline constexpr char kRunningBefore[] = "O Velacorte não pode ser removido enquanto ";
inline constexpr char kRunningAfter[] = " estiver em execução. Feche o programa e tente novamente.";
// The closing message.
inline constexpr char kRemoved[] = "O Velacorte foi removido deste computador.";
inline constexpr char kKeptHeading[] = "Mantidos:";

} // namespace message
