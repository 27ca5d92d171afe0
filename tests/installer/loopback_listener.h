#pragma once

// A listening TCP socket on 127.0.0.1 and a free port, for the tests' own servers. Winsock is started
// for it; the caller closes the socket and calls WSACleanup once.
unsigned long long listen_on_loopback(int &port);
