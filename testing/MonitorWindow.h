// The DMX monitor window as a test reads it: opened from the main window's menu, its rows and
// cells as the texts a person sees.
#pragma once

#include <string>
#include <vector>

#include "app/DmxMonitorWindow.h"
#include "app/NodeTestDlg.h"

namespace testing_support {

// Chooses the item from the main window's own window menu; nothing when the item is missing.
DmxMonitorWindow* ChooseMonitorItem(CNodeTestDlg& window);

// Each source row as Address, Universe, Start Code, Type, Channels and State: what does not
// change with the clock.
std::vector<std::vector<std::string>> SourceLines(const DmxMonitorWindow& monitor);
// The row of the source list that is this address on this universe; -1 when none is.
int SourceRow(const DmxMonitorWindow& monitor, const std::string& address, int universe);
// One row of the channel grid: 16 texts.
std::vector<std::string> GridRow(const DmxMonitorWindow& monitor, int row);
// The channels whose cells are marked as lately changed.
std::vector<int> RecentChannels(const DmxMonitorWindow& monitor);

}  // namespace testing_support
