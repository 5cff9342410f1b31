#include "testing/MonitorWindow.h"

#include <QAction>
#include <QMenu>

#include "res/ResourceIds.h"
#include "res/Strings.h"

namespace testing_support {

using monitor_ui::ChannelGridModel;
using monitor_ui::SourceTableModel;

DmxMonitorWindow* ChooseMonitorItem(CNodeTestDlg& window) {
    const QString text = QString::fromStdString(res::LoadString(res::kStringMonitorItem));
    for (QAction* item : window.SystemMenu()->actions()) {
        if (item->text() != text) continue;
        item->trigger();
        return window.MonitorWindow();
    }
    return nullptr;
}

std::vector<std::vector<std::string>> SourceLines(const DmxMonitorWindow& monitor) {
    const SourceTableModel& model = monitor.SourceModel();
    std::vector<std::vector<std::string>> lines;
    for (int row = 0; row < model.rowCount(); ++row) {
        std::vector<std::string> line;
        for (const int column :
             {SourceTableModel::Address, SourceTableModel::Universe, SourceTableModel::StartCode,
              SourceTableModel::Type, SourceTableModel::Channels, SourceTableModel::State}) {
            line.push_back(model.index(row, column).data().toString().toStdString());
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

int SourceRow(const DmxMonitorWindow& monitor, const std::string& address, int universe) {
    const auto& rows = monitor.SourceModel().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].address == address && rows[i].key.universe == universe) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<std::string> GridRow(const DmxMonitorWindow& monitor, int row) {
    std::vector<std::string> texts;
    for (int column = 0; column < ChannelGridModel::kColumns; ++column) {
        texts.push_back(monitor.GridModel().index(row, column).data().toString().toStdString());
    }
    return texts;
}

std::vector<int> RecentChannels(const DmxMonitorWindow& monitor) {
    std::vector<int> channels;
    const ChannelGridModel& grid = monitor.GridModel();
    for (int row = 0; row < ChannelGridModel::kRows; ++row) {
        for (int column = 0; column < ChannelGridModel::kColumns; ++column) {
            if (grid.index(row, column).data(monitor_ui::kMarkRole).toBool()) {
                channels.push_back(row * ChannelGridModel::kColumns + column + 1);
            }
        }
    }
    return channels;
}

}  // namespace testing_support
