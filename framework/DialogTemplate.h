// A dialog described as data: the controls in tab order, positioned in dialog units.
#pragma once

#include <span>

namespace framework {

enum class ControlKind {
    StaticText,
    GroupBox,
    PushButton,
    DefaultPushButton,
    RadioButton,
    NumberEdit,
    TreeView,
    Slider,
    SpinButton,
    Icon,
};

// Style bits, as a template states them.
enum ControlStyle : unsigned {
    kNoStyle = 0,
    kGroup = 1u << 0,    // starts a group; a radio group runs up to the next control that has it
    kTabStop = 1u << 1,  // the Tab key visits it
    kAlignCenter = 1u << 2,
    kAlignRight = 1u << 3,
    kVerticalCenter = 1u << 4,
    kBorder = 1u << 5,
    kStaticEdge = 1u << 6,
    kNoPrefix = 1u << 7,  // ampersands show as they are
};

struct ControlTemplate {
    int id;  // kNoId for labels that the program never addresses
    ControlKind kind;
    const char* text;
    int x, y, width, height;  // dialog units
    unsigned style;
};

inline constexpr int kNoId = -1;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

struct DialogTemplate {
    int id;
    const char* title;
    int width, height;  // dialog units
    const char* fontFace;
    int pointSize;
    std::span<const ControlTemplate> controls;
};

}  // namespace framework
