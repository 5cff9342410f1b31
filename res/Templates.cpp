#include "res/Templates.h"

#include <array>

#include "res/ResourceIds.h"

namespace res {
namespace {

using framework::ControlKind;
using framework::ControlTemplate;
using framework::kNoId;
namespace style = framework;

constexpr unsigned kEditStyle = style::kBorder | style::kTabStop | style::kAlignRight;

// Template order is tab and grouping order.
constexpr std::array kMainControls{
    ControlTemplate{kNoId, ControlKind::StaticText, "Devices Located", 21, 7, 62, 14,
                    style::kVerticalCenter | style::kGroup},
    ControlTemplate{kIdTree, ControlKind::TreeView, "", 7, 25, 143, 168,
                    style::kBorder | style::kTabStop},
    ControlTemplate{kIdPollAgain, ControlKind::PushButton, "Poll Again", 100, 7, 50, 14,
                    style::kTabStop},
    ControlTemplate{kNoId, ControlKind::StaticText, "Level", 171, 7, 28, 10,
                    style::kAlignCenter | style::kGroup},
    ControlTemplate{kIdLevelText, ControlKind::StaticText, "255\t100%", 162, 17, 49, 10,
                    style::kAlignRight | style::kVerticalCenter | style::kGroup},
    ControlTemplate{kIdSlider, ControlKind::Slider, "", 171, 30, 28, 163,
                    style::kTabStop | style::kStaticEdge},
    ControlTemplate{kNoId, ControlKind::GroupBox, " Data Format ", 223, 3, 76, 64, 0},
    ControlTemplate{kIdRaw, ControlKind::RadioButton, "RAW", 230, 14, 36, 11, style::kGroup},
    ControlTemplate{kIdRle, ControlKind::RadioButton, "RLE", 230, 27, 36, 11, 0},
    ControlTemplate{kIdChannelValue, ControlKind::RadioButton, "Channel/Value", 230, 38, 61, 11, 0},
    ControlTemplate{kIdZero, ControlKind::RadioButton, "Zero (invalid)", 230, 51, 61, 11, 0},
    ControlTemplate{kNoId, ControlKind::GroupBox, " Universe ", 223, 71, 76, 31, style::kGroup},
    ControlTemplate{kIdUniverse, ControlKind::NumberEdit, "", 244, 83, 32, 13, kEditStyle},
    ControlTemplate{kIdUniverseSpin, ControlKind::SpinButton, "", 282, 81, 11, 28, 0},
    ControlTemplate{kNoId, ControlKind::GroupBox, " Channels to Send ", 223, 108, 76, 31,
                    style::kGroup},
    ControlTemplate{kIdChannelCount, ControlKind::NumberEdit, "", 244, 120, 32, 13, kEditStyle},
    ControlTemplate{kIdChannelCountSpin, ControlKind::SpinButton, "", 282, 118, 11, 28, 0},
    ControlTemplate{kNoId, ControlKind::GroupBox, " Start Code ", 223, 143, 76, 31, 0},
    ControlTemplate{kIdStartCode, ControlKind::NumberEdit, "", 244, 155, 32, 13, kEditStyle},
    ControlTemplate{kIdStartCodeSpin, ControlKind::SpinButton, "", 282, 154, 11, 28, 0},
    ControlTemplate{kIdDone, ControlKind::DefaultPushButton, "Done", 223, 179, 76, 14,
                    style::kTabStop},
};

constexpr std::array kAboutControls{
    ControlTemplate{kNoId, ControlKind::Icon, "", 11, 17, 20, 20, 0},
    ControlTemplate{kNoId, ControlKind::StaticText,
                    "PraveltTest Version " PRAVELTEST_VERSION_MAJOR_MINOR, 40, 10, 119, 8,
                    style::kNoPrefix},
    ControlTemplate{kNoId, ControlKind::StaticText, "DMX512 node test tool", 40, 25, 119, 8, 0},
    ControlTemplate{framework::kIdOk, ControlKind::DefaultPushButton, "OK", 178, 7, 50, 14,
                    style::kGroup | style::kTabStop},
};

const framework::DialogTemplate kMainTemplate{kMainDialog, "PraveltTest", 320, 200, "MS Sans Serif",
                                              8,           kMainControls};
const framework::DialogTemplate kAboutTemplate{
    kAboutDialog, "About PraveltTest", 235, 55, "MS Sans Serif", 8, kAboutControls};

}  // namespace

const framework::DialogTemplate& MainDialogTemplate() {
    return kMainTemplate;
}
const framework::DialogTemplate& AboutDialogTemplate() {
    return kAboutTemplate;
}

}  // namespace res
