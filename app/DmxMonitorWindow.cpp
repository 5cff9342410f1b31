#include "app/DmxMonitorWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

using monitor_ui::ChannelGridModel;
using monitor_ui::SourceTableModel;

QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// Arrows move within the view; Tab leaves it, as in any other control.
void MakeKeyboardView(QTableView* view, const QString& name) {
    view->setAccessibleName(name);
    view->setTabKeyNavigation(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setCornerButtonEnabled(false);
    view->setWordWrap(false);
}

}  // namespace

DmxMonitorWindow::DmxMonitorWindow(Attach attach, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_attach(std::move(attach)),
      m_sourceView(new QTableView(this)),
      m_universeBox(new QComboBox(this)),
      m_formatBox(new QComboBox(this)),
      m_gridTitle(new QLabel(this)),
      m_gridView(new QTableView(this)),
      m_timer(new QTimer(this)) {
    setWindowTitle(QStringLiteral("DMX Monitor"));
    setAccessibleName(windowTitle());
    const QFontMetrics metrics = fontMetrics();

    MakeKeyboardView(m_sourceView, QStringLiteral("Sources"));
    m_sourceView->setModel(&m_sourceModel);
    m_sourceView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_sourceView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sourceView->verticalHeader()->hide();
    m_sourceView->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    QHeaderView* columns = m_sourceView->horizontalHeader();
    columns->setStretchLastSection(true);
    const auto widthOf = [&](const char* text) {
        return metrics.horizontalAdvance(QString::fromLatin1(text)) + 16;
    };
    for (const auto& [column, widest] :
         {std::pair{SourceTableModel::Address, "255.255.255.255 (this program)"},
          {SourceTableModel::Universe, "Universe"},
          {SourceTableModel::StartCode, "Start Code"},
          {SourceTableModel::Type, "Channel/Value"},
          {SourceTableModel::Channels, "Channels"},
          {SourceTableModel::Rate, "Frames/s"},
          {SourceTableModel::LastSeen, "Last Seen"}}) {
        m_sourceView->setColumnWidth(column, widthOf(widest));
    }
    connect(m_sourceView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { OnSourceRowChanged(); });

    m_universeBox->setAccessibleName(QStringLiteral("Universe"));
    m_universeBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_universeBox->setMinimumContentsLength(3);
    connect(m_universeBox, &QComboBox::activated, this, [this](int i) { OnUniverseChosen(i); });

    m_formatBox->setAccessibleName(QStringLiteral("Show levels as"));
    m_formatBox->addItem(QStringLiteral("Level (0-255)"));
    m_formatBox->addItem(QStringLiteral("Percent"));
    m_formatBox->addItem(QStringLiteral("Hex"));
    connect(m_formatBox, &QComboBox::currentIndexChanged, this,
            [this](int i) { m_gridModel.SetFormat(static_cast<ChannelGridModel::Format>(i)); });

    m_gridTitle->setAccessibleName(QStringLiteral("Levels shown"));
    m_gridTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);

    MakeKeyboardView(m_gridView, QStringLiteral("Channel levels"));
    m_gridView->setModel(&m_gridModel);
    m_gridView->setItemDelegate(new monitor_ui::ChannelCellDelegate(m_gridView));
    m_gridView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_gridView->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_gridView->horizontalHeader()->setDefaultSectionSize(widthOf("100%"));
    m_gridView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_gridView->verticalHeader()->setDefaultSectionSize(metrics.height() + 4);

    auto* settings = new QHBoxLayout;
    settings->addWidget(BuddyLabel(QStringLiteral("&Universe:"), m_universeBox, this));
    settings->addWidget(m_universeBox);
    settings->addSpacing(metrics.averageCharWidth() * 3);
    settings->addWidget(BuddyLabel(QStringLiteral("Show &as:"), m_formatBox, this));
    settings->addWidget(m_formatBox);
    settings->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuddyLabel(QStringLiteral("&Sources"), m_sourceView, this));
    layout->addWidget(m_sourceView, 1);
    layout->addLayout(settings);
    layout->addWidget(m_gridTitle);
    layout->addWidget(m_gridView, 3);

    setTabOrder(m_sourceView, m_universeBox);
    setTabOrder(m_universeBox, m_formatBox);
    setTabOrder(m_formatBox, m_gridView);

    // Wide enough for the whole grid; as tall as most screens allow.
    const int gridWidth = m_gridView->verticalHeader()->sizeHint().width() +
                          ChannelGridModel::kColumns * widthOf("100%") +
                          m_gridView->verticalScrollBar()->sizeHint().width() +
                          2 * m_gridView->frameWidth();
    resize(std::max(gridWidth, 640) + 24, 40 * metrics.height());

    m_timer->setInterval(kMonitorRefreshMs);
    connect(m_timer, &QTimer::timeout, this, [this] { Refresh(monitor::Clock::now()); });
    ShowGridTitle({});
}

DmxMonitorWindow::~DmxMonitorWindow() {
    Stop();
}

bool DmxMonitorWindow::Listening() const {
    return m_timer->isActive();
}

void DmxMonitorWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!Listening()) Start();
}

// Minimised, it goes on listening: the events that matter are those of opening and closing.
void DmxMonitorWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) Stop();
}

void DmxMonitorWindow::Start() {
    // Each opening shows what is heard from then on.
    m_monitor.Clear();
    m_pick = m_shown = {};
    m_fresh = true;
    m_wallOffset = std::chrono::system_clock::now().time_since_epoch() -
                   std::chrono::duration_cast<std::chrono::system_clock::duration>(
                       monitor::Clock::now().time_since_epoch());
    if (m_attach) m_attach(m_monitor.Tap());
    m_timer->start();
    Refresh(monitor::Clock::now());
}

void DmxMonitorWindow::Stop() {
    if (!Listening()) return;
    m_timer->stop();
    if (m_attach) m_attach({});
}

void DmxMonitorWindow::Refresh(monitor::Time now) {
    m_monitor.Expire(now);
    const std::uint64_t generation = m_monitor.Generation();
    if (!m_fresh && generation == m_generation && !m_changesWithTime) return;
    const bool fresh = m_fresh;
    m_fresh = false;
    m_generation = generation;

    // The list's rates and times change with every frame, but are read at a glance: its rows
    // are rebuilt twice a second, or as soon as a source comes, goes or changes its header.
    const std::uint64_t structure = m_monitor.StructureGeneration();
    const bool rowsDue = fresh || m_rowsTakenAt == monitor::Time{} || structure != m_structure ||
                         now - m_rowsTakenAt >= kSourceRowsPeriod;
    monitor::MonitorView view = m_monitor.Take(now, m_pick, rowsDue);
    m_shown = view.shown ? monitor::SourceKey{view.shown->address, view.shown->universe}
                         : monitor::SourceKey{};
    // What was shown by default stays shown, however the sources take turns.
    if (view.shown) m_pick = m_shown;
    if (rowsDue) {
        m_ratesRunning = std::any_of(view.rows.begin(), view.rows.end(),
                                     [](const auto& row) { return row.framesPerSecond > 0; });
        m_sourceModel.SetRows(std::move(view.rows), m_wallOffset);
        m_rowsTakenAt = now;
        m_structure = structure;
    }
    m_gridModel.SetSource(view.shown ? &*view.shown : nullptr, now);
    ShowUniverses();
    SelectShownRow();
    ShowGridTitle(view);
    m_changesWithTime = m_ratesRunning || m_gridModel.HasRecent();
}

void DmxMonitorWindow::Pick(const monitor::SourceKey& key) {
    if (key == m_pick) return;
    m_pick = key;
    m_fresh = true;
    Refresh(monitor::Clock::now());
}

void DmxMonitorWindow::OnSourceRowChanged() {
    if (m_selecting) return;
    const int row = m_sourceView->selectionModel()->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(m_sourceModel.Rows().size())) return;
    Pick(m_sourceModel.Rows()[static_cast<std::size_t>(row)].key);
}

// The universe alone: its source heard last.
void DmxMonitorWindow::OnUniverseChosen(int index) {
    const int universe = m_universeBox->itemData(index).toInt();
    if (universe != m_shown.universe) Pick({0, universe});
}

void DmxMonitorWindow::ShowUniverses() {
    std::vector<int> heard;
    for (const monitor::SourceRow& row : m_sourceModel.Rows()) {
        if (heard.empty() || heard.back() != row.key.universe) heard.push_back(row.key.universe);
    }
    bool same = static_cast<int>(heard.size()) == m_universeBox->count();
    for (int i = 0; same && i < m_universeBox->count(); ++i) {
        same = m_universeBox->itemData(i).toInt() == heard[static_cast<std::size_t>(i)];
    }
    if (!same) {
        m_universeBox->clear();
        for (const int universe : heard)
            m_universeBox->addItem(QString::number(universe), universe);
    }
    m_universeBox->setCurrentIndex(m_universeBox->findData(m_shown.universe));
}

void DmxMonitorWindow::SelectShownRow() {
    const int row = m_sourceModel.RowOf(m_shown);
    QItemSelectionModel* selection = m_sourceView->selectionModel();
    if (row < 0 || selection->currentIndex().row() == row) return;
    m_selecting = true;
    const int column = std::max(selection->currentIndex().column(), 0);
    selection->setCurrentIndex(m_sourceModel.index(row, column),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_selecting = false;
}

void DmxMonitorWindow::ShowGridTitle(const monitor::MonitorView& view) {
    if (!view.shown) {
        m_gridTitle->setText(QStringLiteral("No DMX data heard since this window opened."));
        return;
    }
    const monitor::Source& source = *view.shown;
    const auto senders = std::count_if(
        m_sourceModel.Rows().begin(), m_sourceModel.Rows().end(),
        [&](const monitor::SourceRow& row) { return row.key.universe == source.universe; });
    QString text = QStringLiteral("Universe %1 from %2: %3 channels")
                       .arg(source.universe)
                       .arg(QString::fromStdString(source.addressText) +
                            (source.own ? QStringLiteral(" (this program)") : QString()))
                       .arg(source.channelCount);
    if (senders > 1) text += QStringLiteral(" (one of %1 sources on this universe)").arg(senders);
    m_gridTitle->setText(text);
}
