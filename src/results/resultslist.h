#pragma once

#include "core/logtable.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <array>
#include <functional>
#include <limits>

class QIcon;

// One row of the results list keeps its seven cells in one string with the end offset of each
// cell, so that a million rows cost little beyond their text.
struct ResultsListRow
{
    static constexpr qint64 UnknownInstant = std::numeric_limits<qint64>::min();
    QString text;
    std::array<quint32, LogTable::ColumnCount> ends {};
    // The instant as milliseconds since the epoch in UTC and the offset then, which is all a
    // QDateTime with an offset holds; UnknownInstant when there is none.
    qint64 utcMs = UnknownInstant;
    qint32 offsetSeconds = 0;
    bool checked = false;
};
// Its members may be moved as bytes: a list of a million rows grows without touching each.
Q_DECLARE_TYPEINFO(ResultsListRow, Q_RELOCATABLE_TYPE);

// The in-memory table of logged locations: seven text columns and a check box per row.
// Rows arrive at the end, are never sorted or removed one by one, and live only as long as
// the program runs. Rows and columns are numbered from 0 in this interface.
class ResultsList : public QAbstractTableModel, public LogTable
{
    Q_OBJECT

public:
    explicit ResultsList(QObject *parent = nullptr);

    // Where the failed row's warning icon comes from on a desktop whose icon theme has none
    // (the window's style); asked for only when a failed row is drawn.
    void setFallbackWarningIcon(std::function<QIcon()> icon) { m_fallbackIcon = std::move(icon); }

    // "Time", "Country", "Region", "City", "Postal Code", "Coordinates", "Timezone".
    static QString caption(int column);
    // The header lines can be dragged to widen a column; long place names are cut off until
    // then. Said by the table and by each cell without a hint of its own.
    static QString cellHint();

    // Appends an unticked row whose Time cell is timeText and whose other cells are empty;
    // returns its row number.
    int appendRow(const QString &timeText) override;
    void setCell(int row, int column, const QString &text) override;
    int appendRecord(const LogRecord &record) override;
    // Appends many complete rows with their ticks in one insertion (the kept history coming
    // back); ticked may be shorter than records.
    void appendRecords(const QList<LogRecord> &records, const QList<bool> &ticked);
    // Appends rows built as the list keeps them (the kept history's own reading), with the
    // failures of failed rows by their place among them.
    void appendRows(QList<ResultsListRow> &&rows, const QHash<qsizetype, QString> &failures);
    void clear();
    // Room for this many rows in all, so that rows coming back by the million are not moved
    // each time the list grows.
    void reserve(qsizetype rows) { m_rows.reserve(rows); }

    // Why the row's log found no location, for the user: its Time cell shows a warning icon,
    // and the text as its tooltip and accessible description. Empty text: a good row. The
    // exports read the cells only, so they show a failed row as an empty one.
    void setFailure(int row, const QString &text) override;
    QString failure(int row) const { return m_failures.value(row); }

    int rows() const { return int(m_rows.size()); }
    QString cell(int row, int column) const { return cellView(row, column).toString(); }
    // A view that stays valid until the row changes; the exports read through it.
    QStringView cellView(int row, int column) const;
    bool isChecked(int row) const { return m_rows[row].checked; }
    // When the row's log was made, with the local offset of that moment; invalid for a row
    // made a cell at a time. The exports that carry a time write this, never the Time text.
    QDateTime instant(int row) const;

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    static constexpr qint64 UnknownInstant = ResultsListRow::UnknownInstant;
    void addRecord(const LogRecord &record, bool checked);
    QVariant warningIcon() const;

    using Row = ResultsListRow;

    QList<Row> m_rows;
    // By row number: most logs succeed, and a good row should cost nothing more.
    QHash<int, QString> m_failures;
    std::function<QIcon()> m_fallbackIcon;
};
