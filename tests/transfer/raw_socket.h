// The socket calls of the protocol tests' server, defined once per platform
// (raw_http_server.cc over POSIX sockets, windows/raw_http_server_win.cc over Winsock); the
// rest of the server is shared (raw_http_request.cc).
#ifndef QNMURO_TESTS_TRANSFER_RAW_SOCKET_H_
#define QNMURO_TESTS_TRANSFER_RAW_SOCKET_H_

#include <cstddef>
#include <string>

namespace qnmuro::test {

// Bytes received into `buffer`; 0 or less when the connection ended or failed.
long SocketReceive(int fd, char* buffer, size_t size);
// False when the connection broke before every byte went out.
bool SocketSendAll(int fd, const std::string& bytes);
void SocketShutdown(int fd);

}  // namespace qnmuro::test

#endif  // QNMURO_TESTS_TRANSFER_RAW_SOCKET_H_
