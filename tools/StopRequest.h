// A request to stop the node (Ctrl+C, SIGTERM, the console closing) as a handle that becomes
// readable, so that the node's one wait covers its socket and the request alike.
#pragma once

#include <string>

#include "net/SocketCompat.h"

namespace simnode {

// Installs the handlers once per process; false, with the reason in *why, when it cannot.
// On Windows the socket layer must already be started.
bool InstallStopRequest(std::string* why);
// Readable once a stop was requested; invalid before InstallStopRequest succeeded.
net::SocketHandle StopRequestHandle();
// What the handlers do: safe in a signal handler and from any thread.
void RequestStop();

}  // namespace simnode
