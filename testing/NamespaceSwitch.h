// Moving the calling thread into a named network namespace and back. No GoogleTest here, so
// the performance harness uses it too.
#pragma once

#include <string>
#include <utility>

namespace lab {

// The calling thread inside /run/netns/<ns> for its lifetime. Sockets made meanwhile stay in
// that namespace after the thread has moved back.
class NamespaceSwitch {
public:
    // Throws std::runtime_error when ns cannot be entered.
    explicit NamespaceSwitch(const std::string& ns);
    // Aborts when the thread cannot move back: carrying on in the wrong namespace would let
    // later sends go where they must not.
    ~NamespaceSwitch();
    NamespaceSwitch(const NamespaceSwitch&) = delete;
    NamespaceSwitch& operator=(const NamespaceSwitch&) = delete;

private:
    int m_original = -1;
};

template <class F>
auto InNamespace(const std::string& ns, F&& fn) {
    NamespaceSwitch inside(ns);
    return std::forward<F>(fn)();
}

}  // namespace lab
