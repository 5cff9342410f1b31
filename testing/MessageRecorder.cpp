#include "testing/MessageRecorder.h"

namespace testing_support {

MessageRecorder::MessageRecorder()
    : m_previous(framework::SetMessageBoxSink(
          [this](const std::string& text) { m_messages.push_back(text); })) {}

MessageRecorder::~MessageRecorder() {
    framework::SetMessageBoxSink(std::move(m_previous));
}

}  // namespace testing_support
