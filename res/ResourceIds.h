// Resource and control ids.
#pragma once

namespace res {

inline constexpr int kAboutDialog = 100;
inline constexpr int kMainDialog = 102;
inline constexpr int kMainIcon = 128;

inline constexpr int kStringAboutItem = 101;
inline constexpr int kStringSocketsFailed = 103;
inline constexpr int kStringMonitorItem = 104;
inline constexpr int kStringChannelCheckItem = 107;
inline constexpr int kStringNetworkItem = 108;

inline constexpr int kIdPollAgain = 3;
inline constexpr int kIdDone = 1;
inline constexpr int kIdTree = 1001;
inline constexpr int kIdSlider = 1002;
inline constexpr int kIdRaw = 1003;
inline constexpr int kIdRle = 1004;
inline constexpr int kIdChannelValue = 1005;
inline constexpr int kIdChannelCount = 1006;
inline constexpr int kIdChannelCountSpin = 1007;
inline constexpr int kIdLevelText = 1008;
inline constexpr int kIdZero = 1009;
inline constexpr int kIdUniverse = 1010;
inline constexpr int kIdUniverseSpin = 1011;
inline constexpr int kIdStartCode = 1012;
inline constexpr int kIdStartCodeSpin = 1013;

inline constexpr unsigned kCommandAbout = 16;
inline constexpr unsigned kCommandMonitor = 32;
// A multiple of 16, as the window system keeps the low four bits of a window-menu command.
inline constexpr unsigned kCommandChannelCheck = 48;
inline constexpr unsigned kCommandNetwork = 64;

}  // namespace res
