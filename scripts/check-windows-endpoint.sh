#!/usr/bin/env bash
# Cross-compiles the protocol and the endpoint for Windows with MinGW-w64 and links them
# against Windows Sockets, so the Windows paths of net/ are compiled even on Linux.
# Needs g++-mingw-w64-x86-64-posix (installed when run as root). Runs nothing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root=$(praveltest_root)
praveltest_ensure_packages g++-mingw-w64-x86-64-posix
compiler=x86_64-w64-mingw32-g++-posix
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for source in protocol/NodeProtocol.cpp net/SocketCompat.cpp net/HostAddress.cpp net/Interfaces.cpp net/NodeSocket.cpp; do
    "$compiler" -std=c++20 -Wall -Wextra -Wpedantic -Werror -I"$root" -c "$root/$source" \
        -o "$out/$(basename "$source" .cpp).o"
done
cat >"$out/main.cpp" <<'CPP'
#include "net/NodeSocket.h"
int main() {
    if (!net::StartSocketLayer()) return 1;
    std::string broadcast;
    net::NodeSocket socket(broadcast, net::NodeSocketEnvironment{});
    return socket.IsOpen() ? 1 : 0;
}
CPP
"$compiler" -std=c++20 -I"$root" "$out/main.cpp" "$out"/*.o -lws2_32 -liphlpapi -static \
    -o "$out/endpoint.exe"
echo "protocol and endpoint build and link for Windows"
