#include "loopback_listener.h"

#include <winsock2.h>

unsigned long long listen_on_loopback(int &port) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address));
  listen(listener, 8);
  int size = sizeof(address);
  getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size);
  port = ntohs(address.sin_port);
  return listener;
}
