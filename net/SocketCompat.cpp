#include "net/SocketCompat.h"

#ifdef _WIN32
namespace net {
bool StartSocketLayer() {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}
void StopSocketLayer() {
    WSACleanup();
}
int LastSocketError() {
    return WSAGetLastError();
}
void SetLastSocketError(int error) {
    WSASetLastError(error);
}
void CloseSocketHandle(SocketHandle handle) {
    closesocket(handle);
}
bool MakeNonBlocking(SocketHandle handle) {
    u_long on = 1;
    return ioctlsocket(handle, FIONBIO, &on) == 0;
}
bool IsWouldBlock(int error) {
    return error == WSAEWOULDBLOCK;
}
}  // namespace net
#else
#include <fcntl.h>
#include <cerrno>

namespace net {
bool StartSocketLayer() {
    return true;
}
void StopSocketLayer() {}
int LastSocketError() {
    return errno;
}
void SetLastSocketError(int error) {
    errno = error;
}
void CloseSocketHandle(SocketHandle handle) {
    ::close(handle);
}
bool MakeNonBlocking(SocketHandle handle) {
    const int flags = fcntl(handle, F_GETFL, 0);
    return flags >= 0 && fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0;
}
bool IsWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}
}  // namespace net
#endif
