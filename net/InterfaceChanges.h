// Whether this host's interfaces or their addresses may have changed: the system's own
// notice where it gives one cheaply (netlink on Linux), so that following the network costs
// one non-blocking read a second rather than a full listing.
#pragma once

namespace net {

class InterfaceChanges {
public:
    InterfaceChanges();
    ~InterfaceChanges();
    InterfaceChanges(const InterfaceChanges&) = delete;
    InterfaceChanges& operator=(const InterfaceChanges&) = delete;

    // True when something changed since the last call, and always where the system cannot
    // tell, so that the caller then looks for itself. Never blocks.
    bool Pending();

private:
    int m_socket = -1;
};

}  // namespace net
