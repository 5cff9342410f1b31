// Watches the program's message boxes: each one is recorded and answered at once.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "framework/MessageBox.h"

namespace testing_support {

class MessageRecorder {
public:
    MessageRecorder()
        : m_previous(framework::SetMessageBoxSink(
              [this](const std::string& text) { m_messages.push_back(text); })) {}
    ~MessageRecorder() { framework::SetMessageBoxSink(std::move(m_previous)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<std::string>& Messages() const { return m_messages; }
    void Clear() { m_messages.clear(); }

private:
    std::vector<std::string> m_messages;
    framework::MessageBoxSink m_previous;
};

}  // namespace testing_support
