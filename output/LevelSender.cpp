#include "output/LevelSender.h"

namespace output {
namespace {

constexpr int kSliderMin = 0;
constexpr int kSliderMax = 255;
constexpr int kSliderLineSize = 1;
constexpr int kSliderPageSize = 16;
constexpr int kSliderTickEvery = 16;
constexpr char kStartLevelText[] = "  0\t  0%";

}  // namespace

void LevelSender::InitOutputControls() {
    QSlider& slider = *m_controls.levelSlider;
    slider.setRange(kSliderMin, kSliderMax);
    slider.setSingleStep(kSliderLineSize);
    slider.setPageStep(kSliderPageSize);
    slider.setTickInterval(kSliderTickEvery);
    slider.setValue(kSliderMax);

    m_settings.universe = kMinUniverse;
    // Each position lands in its field, and that change reads every field back: this is
    // how channelCount and startCode get their start values.
    m_controls.universeSpin->SetRange(kMinUniverse, kMaxUniverse);
    m_controls.universeSpin->SetPos(kMinUniverse);
    m_controls.channelCountSpin->SetRange(kMinChannels, kMaxChannels);
    m_controls.channelCountSpin->SetPos(kMaxChannels);
    m_controls.startCodeSpin->SetRange(kMinStartCode, kMaxStartCode);
    m_controls.startCodeSpin->SetPos(kMinStartCode);

    // Only now: the reads above left no button selected and the level text empty.
    m_settings.dataFormat = kRaw;
    m_settings.levelText = kStartLevelText;
    m_updateData(false);
}

void LevelSender::ValidateSettings() {
    m_updateData(true);
    ClampSettings(m_settings);
}

void LevelSender::SendLevel() {
    // The thumb's position, which is current even while an action is being reported.
    const int level = LevelFromSliderPosition(m_controls.levelSlider->sliderPosition());
    // A field without a number is reported and stops the reading; the send goes on with the
    // settings as they stand, and writing them all back shows exactly what was sent.
    m_updateData(true);
    ClampSettings(m_settings);
    protocol::DmxBuffer buffer;
    const std::size_t length =
        BuildLevelMessage(m_settings, static_cast<std::uint8_t>(level), buffer);
    m_settings.levelText = FormatLevelText(level);
    m_updateData(false);
    m_socket.SendDatagram(buffer.data(), length);
}

}  // namespace output
