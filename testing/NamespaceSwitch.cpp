#include "testing/NamespaceSwitch.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace lab {

NamespaceSwitch::NamespaceSwitch(const std::string& ns) {
    const std::string own = "/proc/self/task/" + std::to_string(gettid()) + "/ns/net";
    m_original = open(own.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_original < 0) throw std::runtime_error("cannot open " + own + ": " + strerror(errno));
    const std::string target = "/run/netns/" + ns;
    const int handle = open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0 || setns(handle, CLONE_NEWNET) != 0) {
        const std::string error = strerror(errno);
        if (handle >= 0) close(handle);
        close(m_original);
        throw std::runtime_error("cannot enter " + target + ": " + error);
    }
    close(handle);
}

NamespaceSwitch::~NamespaceSwitch() {
    if (setns(m_original, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "cannot return to the original network namespace: %s\n",
                     strerror(errno));
        std::abort();
    }
    close(m_original);
}

}  // namespace lab
