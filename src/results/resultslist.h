#pragma once

#include "core/logtable.h"
#include "core/rowfixes.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QSharedData>
#include <QString>
#include <QStringView>
#include <array>
#include <functional>
#include <limits>
#include <optional>

class QIcon;

// One row of the results list and all it knows: its seven cells in one string with the end
// offset of each cell, its moment, its place, its tick and whether the kept history holds it.
// A million rows must cost little beyond their text, so what few rows have lives behind a
// pointer and the place is kept in whole ten-millionths of a degree.
struct ResultsListRow
{
    static constexpr qint64 UnknownInstant = std::numeric_limits<qint64>::min();
    static constexpr qint32 NoPlace = std::numeric_limits<qint32>::min();

    // Why the row's log found no location; and the service's answer, held for a row not kept
    // yet should the user keep it later.
    // Its fixes and mark live here too: most rows have an address fix of the estimated accuracy,
    // no Wi-Fi fix and no mark.
    struct Rare : QSharedData
    {
        QString failure;
        QByteArray answer;
        double addressAccuracyMetres = 0; // 0: the answer gave none
        std::optional<Fix> wifi;
        QString mark; // the answer's own; a Wi-Fi fix far from the address adds one as it is read
        // Where the log came from when not from the laptop's own schedule, for the user: "Asked
        // by your server", "Imported from trip.gpx"; the Time cell's description.
        QString origin;
        static QString askedByServer() { return QStringLiteral("Asked by your server"); }
    };

    QString text;
    // Where each cell but the last ends in text; the last ends with the text.
    std::array<quint32, LogTable::ColumnCount - 1> ends {};
    qint32 offsetSeconds = 0;
    // The place the Coordinates cell names, read once when the row comes in. A value the service
    // gives (four decimals) comes back as the very number the cell's text reads as.
    qint32 latitudeE7 = NoPlace;
    qint32 longitudeE7 = NoPlace;
    qint16 httpStatus = 0; // the service's status; 0 when there was none, or it is not known
    bool checked : 1 = false;
    // Kept, and ticked or unticked while the history could not be written.
    bool tickUnsaved : 1 = false;
    // The kept history holds the row, under its log's id.
    bool kept : 1 = false;
    // The user's corrections: the fix made the row's place, and the row left out of the days
    // per country.
    FixChoice chosen : 2 = FixChoice::Surer;
    bool leftOut : 1 = false;
    // The instant as milliseconds since the epoch in UTC, with offsetSeconds the offset then,
    // which is all a QDateTime with an offset holds; UnknownInstant when there is none.
    qint64 utcMs = UnknownInstant;
    LogId id;
    QExplicitlySharedDataPointer<Rare> rare;
};
// Its members may be moved as bytes: a list of a million rows grows without touching each.
Q_DECLARE_TYPEINFO(ResultsListRow, Q_RELOCATABLE_TYPE);
static_assert(sizeof(ResultsListRow) <= 88, "a million rows: keep the row small");

// The in-memory table of logged locations: seven text columns and a check box per row.
// Rows arrive at the end, are never sorted, are removed only as the user asks, and live only as
// long as the program runs. Rows and columns are numbered from 0 in this interface.
class ResultsList : public QAbstractTableModel, public LogTable
{
    Q_OBJECT

public:
    // The answers held for rows not kept: a typical answer is a few hundred bytes, so this covers
    // tens of thousands of logs; rows beyond it are kept without their answer.
    static constexpr qsizetype HeldAnswerBytes = 8 * 1024 * 1024;

    explicit ResultsList(QObject *parent = nullptr);

    // Where the failed row's warning icon comes from on a desktop whose icon theme has none
    // (the window's style); asked for only when a failed row is drawn.
    void setFallbackWarningIcon(std::function<QIcon()> icon) { m_fallbackIcon = std::move(icon); }

    // "Time", "Country", "Region", "City", "Postal Code", "Coordinates", "Timezone".
    static QString caption(int column);
    // The header lines can be dragged to widen a column; long place names are cut off until
    // then. Said by the table and by each cell without a hint of its own.
    static QString cellHint();

    // Appends a complete row, unticked and not kept; returns its row number.
    AppendedRow appendRecord(const LogRecord &record) override
    {
        return {appendRecord(record, false), record.id};
    }
    // The same for a row the kept history may hold already. A row not kept holds the service's
    // answer, should it be kept later, up to HeldAnswerBytes for all rows. A record that names
    // no log is given a name here.
    int appendRecord(const LogRecord &record, bool kept);
    // Appends many complete rows with their ticks in one insertion; ticked may be shorter than
    // records.
    void appendRecords(const QList<LogRecord> &records, const QList<bool> &ticked);
    // Appends rows built as the list keeps them (the kept history's own reading).
    void appendRows(QList<ResultsListRow> &&rows);
    void clear();
    // Room for this many rows in all, so that rows coming back by the million are not moved
    // each time the list grows.
    void reserve(qsizetype rows) { m_rows.reserve(rows); }

    int rows() const { return int(m_rows.size()); }
    QString cell(int row, int column) const { return cellView(row, column).toString(); }
    // A view that stays valid until the row changes; the exports read through it.
    QStringView cellView(int row, int column) const;
    bool isChecked(int row) const { return m_rows[row].checked; }
    // Why the row's log found no location, for the user: its Time cell shows a warning icon,
    // and the text as its tooltip and accessible description. Empty: a good row. The exports
    // read the cells only, so they show a failed row as an empty one.
    QString failure(int row) const;
    // When the row's log was made, with the local offset of that moment; invalid when it is not
    // known. The exports that carry a time write this, never the Time text.
    QDateTime instant(int row) const;
    // The row's moment as milliseconds since the epoch in UTC; UnknownInstant when it has none.
    qint64 utcMs(int row) const { return m_rows[row].utcMs; }
    // The place the row's Coordinates cell names; none when it names none (ParseCoordinates).
    std::optional<GeoPoint> place(int row) const
    {
        if (row < 0 || row >= rows() || m_rows[row].latitudeE7 == Row::NoPlace)
            return std::nullopt;
        const Row &source = m_rows[row];
        return GeoPoint {source.latitudeE7 / 1e7, source.longitudeE7 / 1e7};
    }
    // The row's fixes, the address's at the place its Coordinates cell names.
    RowFixes fixes(int row) const;
    // The row's place as the address placed it, with the answer's accuracy or the estimate.
    std::optional<Fix> addressFix(int row) const { return fixes(row).address(); }
    // The location service's fix, when one joined the row.
    std::optional<Fix> wiFiFix(int row) const;
    // Why the row's place is doubtful; empty when nothing says so. Its Coordinates cell shows a
    // warning icon, and the text as its tooltip and accessible description.
    QString mark(int row) const { return fixes(row).mark(); }
    // The fix joins the log's row if it is a good one, and may mark it; the Coordinates cell
    // changes.
    bool joinWiFiFix(LogId log, const Fix &fix) override;
    // The row of the log; -1 when none is here. The newest rows are found first.
    int findRow(LogId log) const;
    LogId id(int row) const { return m_rows[row].id; }

    // The row's whole log as the kept history keeps it: the cells, the moment and the failure,
    // and the status and answer the row holds while it is not kept.
    LogRecord record(int row) const;

    // Whether the kept history holds the row.
    bool isKept(int row) const { return m_rows[row].kept; }
    // The row is now kept: the answer it held for that is let go.
    void setKept(int row);
    // The kept history was started afresh or deleted: no row is kept any more.
    void forgetKept();
    // A kept row ticked or unticked while the history could not be written, to be saved later.
    bool isTickUnsaved(int row) const { return m_rows[row].tickUnsaved; }
    void setTickUnsaved(int row) { m_rows[row].tickUnsaved = true; }
    void setTicksSaved();

    // The user's corrections of rows. Each change tells the views of the rows' Coordinates or
    // Country cell, without naming a role: the map and the count follow it.
    FixChoice chosen(int row) const { return m_rows[row].chosen; }
    void setChosen(const QList<int> &rows, FixChoice choice);
    bool isLeftOut(int row) const { return m_rows[row].leftOut; }
    void setLeftOut(const QList<int> &rows, bool leftOut);

    // Rows taken out of the list, with where each stood, so that they can be put back.
    struct Taken
    {
        QList<int> rows; // ascending, as they stood
        QList<ResultsListRow> held;
    };
    // Takes the rows out (their numbers in any order, each once); the list is told anew.
    Taken take(QList<int> rows);
    // Puts rows taken earlier back where they stood among the rows taken with them and those
    // that stayed.
    void putBack(Taken &&taken);

    // Logs brought back from a file or a server: each made a row as it is read (a row costs a
    // fraction of its record), and the rows joined to the table at once, in time order among
    // the rows already there. kept: the history holds them.
    ResultsListRow importedRow(const LogRecord &record) { return made(record, false, false); }
    static LogRecord recordOf(const ResultsListRow &row);
    void insertInTimeOrder(QList<ResultsListRow> &&rows, bool kept);
    // The rows back in time order where they are not (the kept history hands them back in the
    // order they were kept, and an import may have kept older logs after newer ones); stable.
    void sortByTime();

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    using Row = ResultsListRow;
    Row made(const LogRecord &record, bool checked, bool kept);
    QVariant warningIcon() const;
    // The views hear of a change of the rows' cell in this column, without a role named.
    void tellChanged(const QList<int> &rows, int column);
    // The row's Rare, made or unshared, to be written.
    ResultsListRow::Rare &rareOf(int row);

    QList<Row> m_rows;
    // What the rows not kept hold of answers, against HeldAnswerBytes.
    qsizetype m_heldAnswerBytes = 0;
    std::function<QIcon()> m_fallbackIcon;
};
