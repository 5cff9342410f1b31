// The level slider and the settings fields, turned into one DMX data message per scroll.
#pragma once

#include <QSlider>
#include <functional>

#include "framework/Bound.h"
#include "framework/SpinButton.h"
#include "net/NodeSocket.h"
#include "output/OutputSettings.h"

namespace output {

struct OutputControls {
    framework::Bound<QSlider>& levelSlider;
    framework::Bound<framework::SpinButton>& universeSpin;
    framework::Bound<framework::SpinButton>& channelCountSpin;
    framework::Bound<framework::SpinButton>& startCodeSpin;
};

// The window's field binding: reads the fields into the settings (true) or writes the settings
// into the fields (false); false when a field held no number.
using UpdateData = std::function<bool(bool saveAndValidate)>;

class LevelSender {
public:
    LevelSender(UpdateData updateData, OutputSettings& settings, OutputControls controls,
                net::NodeSocket& socket)
        : m_updateData(std::move(updateData)),
          m_settings(settings),
          m_controls(controls),
          m_socket(socket) {}

    void InitOutputControls();
    void ValidateSettings();
    void SendLevel();

private:
    UpdateData m_updateData;
    OutputSettings& m_settings;
    OutputControls m_controls;
    net::NodeSocket& m_socket;
};

}  // namespace output
