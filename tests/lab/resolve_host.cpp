// Prints what the program would make of this host's name, as seen from inside a lab namespace.
#include <unistd.h>

#include <cstdio>

#include "net/HostAddress.h"

int main() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    const auto resolved = net::ResolveHostName();
    const auto lookup = net::LookupHostAddress();
    std::printf("host=%s resolved=%s lookup=%s broadcast=%s\n", name,
                resolved ? net::FormatAddress(*resolved).c_str() : "none",
                lookup ? net::FormatAddress(*lookup).c_str() : "none",
                lookup ? net::ClassCBroadcast(*lookup).c_str() : "none");
    return resolved ? 0 : 1;
}
