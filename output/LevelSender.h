// The level slider and the settings fields, turned into one DMX data message per scroll.
#pragma once

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "net/NodeSocket.h"
#include "output/OutputSettings.h"

namespace output {

struct OutputControls {
    framework::SliderCtrl& levelSlider;
    framework::SpinButtonCtrl& universeSpin;
    framework::SpinButtonCtrl& channelCountSpin;
    framework::SpinButtonCtrl& startCodeSpin;
};

class LevelSender {
public:
    // window binds the settings to its fields; its UpdateData moves them either way.
    LevelSender(framework::Dialog& window, OutputSettings& settings, OutputControls controls,
                net::NodeSocket& socket)
        : m_window(window), m_settings(settings), m_controls(controls), m_socket(socket) {}

    void InitOutputControls();
    void ValidateSettings();
    void SendLevel();

private:
    framework::Dialog& m_window;
    OutputSettings& m_settings;
    OutputControls m_controls;
    net::NodeSocket& m_socket;
};

}  // namespace output
