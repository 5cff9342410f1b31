#include "net/InterfaceChanges.h"

#ifdef __linux__
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace net {

#ifdef __linux__
InterfaceChanges::InterfaceChanges() {
    m_socket = socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_socket < 0) return;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(m_socket);
        m_socket = -1;
    }
}

InterfaceChanges::~InterfaceChanges() {
    if (m_socket >= 0) close(m_socket);
}

bool InterfaceChanges::Pending() {
    if (m_socket < 0) return true;
    bool changed = false;
    char buffer[8192];
    while (true) {
        const ssize_t length = recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length > 0) {
            changed = true;
            continue;
        }
        // ENOBUFS: notices were lost while nobody read; something changed.
        if (length < 0 && errno == ENOBUFS) {
            changed = true;
            continue;
        }
        return changed;
    }
}
#else
// Windows under Wine gives no notice to rely on; listing once a second is cheap there.
InterfaceChanges::InterfaceChanges() = default;
InterfaceChanges::~InterfaceChanges() = default;
bool InterfaceChanges::Pending() {
    return true;
}
#endif

}  // namespace net
