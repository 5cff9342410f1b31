// The DMX monitor: every source the program's socket hears, and the channels of one of them.
// Modeless beside the main window. It listens only while it is open; closed, it costs nothing.
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>

#include "app/MonitorModels.h"
#include "monitor/SharedMonitor.h"
#include "net/NodeSocket.h"

class QComboBox;
class QLabel;
class QTableView;
class QTimer;

inline constexpr int kMonitorRefreshMs = 50;  // at most 20 paints a second
inline constexpr std::chrono::milliseconds kSourceRowsPeriod{500};

class DmxMonitorWindow : public QWidget {
    Q_OBJECT
public:
    // Hands the socket a tap, or an empty one to stop it.
    using Attach = std::function<void(net::DmxTap)>;

    explicit DmxMonitorWindow(Attach attach, QWidget* parent = nullptr);
    ~DmxMonitorWindow() override;

    // What the refresh timer does; public so that tests choose the time.
    void Refresh(monitor::Time now);

    monitor::SharedMonitor& Monitor() { return m_monitor; }
    const monitor_ui::SourceTableModel& SourceModel() const { return m_sourceModel; }
    const monitor_ui::ChannelGridModel& GridModel() const { return m_gridModel; }
    QTableView* SourceView() const { return m_sourceView; }
    QTableView* GridView() const { return m_gridView; }
    QComboBox* UniverseBox() const { return m_universeBox; }
    QComboBox* FormatBox() const { return m_formatBox; }
    QLabel* GridTitle() const { return m_gridTitle; }
    bool Listening() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Start();
    void Stop();
    void RefreshNow();
    void Pick(const monitor::SourceKey& key);
    void OnSourceRowChanged();
    void OnUniverseChosen(int index);
    void ShowUniverses();
    void SelectShownRow();
    void ShowGridTitle(const monitor::MonitorView& view);

    Attach m_attach;
    monitor::SharedMonitor m_monitor;
    monitor_ui::SourceTableModel m_sourceModel;
    monitor_ui::ChannelGridModel m_gridModel;
    QTableView* m_sourceView;
    QComboBox* m_universeBox;
    QComboBox* m_formatBox;
    QLabel* m_gridTitle;
    QTableView* m_gridView;
    QTimer* m_timer;

    monitor::SourceKey m_pick;
    monitor::SourceKey m_shown;
    std::uint64_t m_generation = 0;
    bool m_fresh = true;  // nothing taken since the window opened
    // The picture changes with time alone: marks that run out, rates that fall.
    bool m_changesWithTime = false;
    bool m_ratesRunning = false;
    monitor::Time m_rowsTakenAt{};
    std::uint64_t m_structure = 0;
    // Set while the window moves its own selection, so that the move is not taken as a pick.
    bool m_selecting = false;
    std::chrono::system_clock::duration m_wallOffset{};
};
