// The DMX monitor's Qt models: the list of sources and the 512 channels of one of them. Each
// takes a whole new state at once and signals only the cells whose text or mark changed, so
// that the views repaint what changed and nothing else.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStaticText>
#include <QString>
#include <QStyledItemDelegate>
#include <array>
#include <chrono>
#include <vector>

#include "monitor/SharedMonitor.h"

namespace monitor_ui {

// Set on a channel whose level changed lately; on a source in conflict, and on its type cell
// when the type is not RAW.
inline constexpr int kMarkRole = Qt::UserRole;
// A channel's level stays marked as changed this long.
inline constexpr std::chrono::seconds kRecentChange{2};

class SourceTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Address, Universe, StartCode, Type, Channels, Rate, LastSeen, State, kColumns };

    using QAbstractTableModel::QAbstractTableModel;

    // wallOffset turns the monitor's steady clock into the time of day shown.
    void SetRows(std::vector<monitor::SourceRow> rows,
                 std::chrono::system_clock::duration wallOffset);
    const std::vector<monitor::SourceRow>& Rows() const { return m_rows; }
    // -1 when no row is that source.
    int RowOf(const monitor::SourceKey& key) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Line {
        std::array<QString, kColumns> texts;
        bool conflict = false;
        bool lost = false;
        bool unusualType = false;
    };
    static Line LineOf(const monitor::SourceRow& row,
                       std::chrono::system_clock::duration wallOffset);

    std::vector<monitor::SourceRow> m_rows;
    std::vector<Line> m_lines;
};

// 32 rows of 16 channels: row r holds channels 16r+1 to 16r+16.
// Paints a grid cell as its fill and one centred text laid out once per text: the style's full
// item painting costs several times as much, and a fading universe repaints every cell 20 times
// a second.
class ChannelCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    const QStaticText& Laid(const QString& text) const;
    mutable QHash<QString, QStaticText> m_texts;
};

class ChannelGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Format { Level, Percent, Hex };
    static constexpr int kRows = 32;
    static constexpr int kColumns = 16;

    using QAbstractTableModel::QAbstractTableModel;

    // Nothing shows "--" in every cell.
    void SetSource(const monitor::Source* source, monitor::Time now);
    void SetFormat(Format format);
    Format CurrentFormat() const { return m_format; }
    // Some cell is marked as changed, so the mark will go with time alone.
    bool HasRecent() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Cell {
        int level = -1;  // -1: beyond the channel count
        bool recent = false;
        bool operator==(const Cell&) const = default;
    };
    QString Text(const Cell& cell) const;

    Format m_format = Format::Level;
    std::array<Cell, monitor::kChannels> m_cells{};
};

}  // namespace monitor_ui
