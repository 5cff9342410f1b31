#include "app/MonitorModels.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QPainter>
#include <algorithm>

namespace monitor_ui {
namespace {

// Light fills with black text read the same under a dark palette.
const QColor kConflictFill(255, 196, 196);
const QColor kRecentFill(255, 226, 130);
const QColor kLostText(128, 128, 128);
const QColor kUnusualTypeText(176, 80, 0);

QString TimeOfDay(monitor::Time at, std::chrono::system_clock::duration wallOffset) {
    const auto wall = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(at.time_since_epoch()) +
        wallOffset);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

// The first and last index in which two equally long lists differ; first > last when none.
template <class T, class Same>
std::pair<int, int> ChangedSpan(const T& before, const T& after, Same same) {
    int first = static_cast<int>(after.size());
    int last = -1;
    for (int i = 0; i < static_cast<int>(after.size()); ++i) {
        if (same(before[static_cast<std::size_t>(i)], after[static_cast<std::size_t>(i)])) continue;
        first = std::min(first, i);
        last = i;
    }
    return {first, last};
}

}  // namespace

SourceTableModel::Line SourceTableModel::LineOf(const monitor::SourceRow& row,
                                                std::chrono::system_clock::duration wallOffset) {
    Line line;
    line.texts[Address] = QString::fromStdString(row.address);
    if (row.own) line.texts[Address] += QStringLiteral(" (this program)");
    line.texts[Universe] = QString::number(row.key.universe);
    line.texts[StartCode] = QString::number(row.startCode);
    line.texts[Type] = QString::fromStdString(monitor::DataTypeName(row.dataType));
    line.texts[Channels] = QString::number(row.channelCount);
    line.texts[Rate] = QString::number(row.framesPerSecond);
    line.texts[LastSeen] = TimeOfDay(row.lastSeen, wallOffset);
    line.conflict = row.conflict;
    line.lost = row.state == monitor::SourceState::Lost;
    line.texts[State] = line.conflict ? QStringLiteral("Conflict")
                        : line.lost   ? QStringLiteral("Lost")
                                      : QStringLiteral("Live");
    line.unusualType = row.dataType != static_cast<std::uint8_t>(protocol::DmxDataType::Raw);
    return line;
}

void SourceTableModel::SetRows(std::vector<monitor::SourceRow> rows,
                               std::chrono::system_clock::duration wallOffset) {
    std::vector<Line> lines;
    lines.reserve(rows.size());
    for (const monitor::SourceRow& row : rows) lines.push_back(LineOf(row, wallOffset));
    const bool sameSources =
        rows.size() == m_rows.size() &&
        std::equal(rows.begin(), rows.end(), m_rows.begin(),
                   [](const auto& a, const auto& b) { return a.key == b.key; });
    if (!sameSources) {
        beginResetModel();
        m_rows = std::move(rows);
        m_lines = std::move(lines);
        endResetModel();
        return;
    }
    const auto [first, last] = ChangedSpan(m_lines, lines, [](const Line& a, const Line& b) {
        return a.texts == b.texts && a.conflict == b.conflict && a.lost == b.lost;
    });
    m_rows = std::move(rows);
    m_lines = std::move(lines);
    if (first <= last) emit dataChanged(index(first, 0), index(last, kColumns - 1));
}

int SourceTableModel::RowOf(const monitor::SourceKey& key) const {
    const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                    [&](const monitor::SourceRow& row) { return row.key == key; });
    return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
}

int SourceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

int SourceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant SourceTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Line& line = m_lines[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return line.texts[static_cast<std::size_t>(column)];
        case kMarkRole:
            return column == Type ? line.unusualType : line.conflict;
        case Qt::BackgroundRole:
            if (line.conflict) return QBrush(kConflictFill);
            return {};
        case Qt::ForegroundRole:
            if (column == Type && line.unusualType) return QBrush(kUnusualTypeText);
            if (line.conflict) return QBrush(Qt::black);
            if (line.lost) return QBrush(kLostText);
            return {};
        case Qt::ToolTipRole:
            if (column == State && line.conflict) {
                return QStringLiteral("Another source sends this universe too");
            }
            if (column == Type && line.unusualType) {
                return QStringLiteral("Not RAW: the levels shown are the data bytes as sent");
            }
            return {};
        case Qt::TextAlignmentRole:
            if (column == Address || column == Type || column == State) {
                return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
            }
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant SourceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const std::array<const char*, kColumns> kTitles{
        "Address", "Universe", "Start Code", "Type", "Channels", "Frames/s", "Last Seen", "State"};
    if (section < 0 || section >= kColumns) return {};
    return QString::fromLatin1(kTitles[static_cast<std::size_t>(section)]);
}

void ChannelGridModel::SetSource(const monitor::Source* source, monitor::Time now) {
    std::array<Cell, monitor::kChannels> cells{};
    if (source) {
        for (std::size_t i = 0; i < source->channelCount; ++i) {
            cells[i].level = source->levels[i];
            cells[i].recent = now - source->changedAt[i] < kRecentChange;
        }
    }
    const auto [first, last] = ChangedSpan(m_cells, cells, std::equal_to<Cell>());
    m_cells = cells;
    if (first > last) return;
    // One signal for the rows between the first and the last change.
    emit dataChanged(index(first / kColumns, 0), index(last / kColumns, kColumns - 1));
}

void ChannelGridModel::SetFormat(Format format) {
    if (format == m_format) return;
    m_format = format;
    emit dataChanged(index(0, 0), index(kRows - 1, kColumns - 1));
}

bool ChannelGridModel::HasRecent() const {
    return std::any_of(m_cells.begin(), m_cells.end(),
                       [](const Cell& cell) { return cell.recent; });
}

QString ChannelGridModel::Text(const Cell& cell) const {
    if (cell.level < 0) return QStringLiteral("--");
    switch (m_format) {
        case Format::Percent:
            // Truncated, as the main window's level text is.
            return QString::number(cell.level * 100 / 255) + QLatin1Char('%');
        case Format::Hex:
            return QStringLiteral("%1").arg(cell.level, 2, 16, QLatin1Char('0')).toUpper();
        case Format::Level:
            break;
    }
    return QString::number(cell.level);
}

int ChannelGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRows;
}

int ChannelGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ChannelGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int channel = index.row() * kColumns + index.column() + 1;
    const Cell& cell = m_cells[static_cast<std::size_t>(channel - 1)];
    switch (role) {
        case Qt::DisplayRole:
            return Text(cell);
        case Qt::ToolTipRole:
        case Qt::AccessibleTextRole:
            return cell.level < 0 ? QStringLiteral("Channel %1: not sent").arg(channel)
                                  : QStringLiteral("Channel %1: %2").arg(channel).arg(Text(cell));
        case kMarkRole:
            return cell.recent;
        case Qt::BackgroundRole:
            if (cell.recent) return QBrush(kRecentFill);
            return {};
        case Qt::ForegroundRole:
            if (cell.recent) return QBrush(Qt::black);
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignCenter);
        default:
            return {};
    }
}

const QStaticText& ChannelCellDelegate::Laid(const QString& text) const {
    auto found = m_texts.find(text);
    if (found == m_texts.end()) {
        // Bounded: 256 levels in three formats and "--".
        found = m_texts.insert(text, QStaticText(text));
        found->prepare();
    }
    return *found;
}

void ChannelCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const bool recent = index.data(kMarkRole).toBool();
    QColor textColour = option.palette.color(QPalette::Text);
    if (selected) {
        painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
        textColour = option.palette.color(QPalette::HighlightedText);
    } else if (recent) {
        painter->fillRect(option.rect, kRecentFill);
        textColour = Qt::black;
    }
    const QStaticText& text = Laid(index.data(Qt::DisplayRole).toString());
    const QSizeF size = text.size();
    painter->setPen(textColour);
    painter->setFont(option.font);
    painter->drawStaticText(QPointF(option.rect.x() + (option.rect.width() - size.width()) / 2,
                                    option.rect.y() + (option.rect.height() - size.height()) / 2),
                            text);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = option.rect.adjusted(1, 1, -1, -1);
        const QWidget* widget = option.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

QVariant ChannelGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0) return {};
    if (orientation == Qt::Vertical) {
        return QStringLiteral("%1-%2")
            .arg(section * kColumns + 1)
            .arg(section * kColumns + kColumns);
    }
    return QStringLiteral("+%1").arg(section);
}

}  // namespace monitor_ui
