#include "results/resultslist.h"

#include <QGuiApplication>
#include <QIcon>

#include <cmath>

namespace {

bool isColumn(int column)
{
    return column >= 0 && column < ResultsList::ColumnCount;
}

// Views and the model tester ask about indexes that are invalid or already gone; those get an
// empty answer without a warning.
bool isCell(const ResultsList &model, const QModelIndex &index)
{
    return index.isValid() && index.model() == &model && index.row() < model.rows()
        && isColumn(index.column());
}

// The row's place in whole ten-millionths of a degree: in range of an int for every longitude,
// and back in degrees the nearest double to any number of up to seven decimals, as the cell
// reads.
void readPlace(ResultsListRow &row, QStringView cell)
{
    if (const std::optional<GeoPoint> place = ParseCoordinates(cell)) {
        row.latitudeE7 = qint32(std::lround(place->latitude * 1e7));
        row.longitudeE7 = qint32(std::lround(place->longitude * 1e7));
    }
}

} // namespace

ResultsList::ResultsList(QObject *parent) : QAbstractTableModel(parent) { }

// The mark of a failed log, as the desktop draws a warning. Without a graphical application
// (tests of the table alone, tools) no icon can be made, and none is asked for.
QVariant ResultsList::warningIcon() const
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return {};
    QIcon icon = QIcon::fromTheme(QStringLiteral("dialog-warning"));
    if (icon.isNull() && m_fallbackIcon)
        icon = m_fallbackIcon();
    return icon.isNull() ? QVariant() : QVariant(icon);
}

QString ResultsList::cellHint()
{
    return QStringLiteral("Move | line to right and out of window to reveal full names.");
}

QString ResultsList::caption(int column)
{
    return isColumn(column) ? QStringView(Captions[column]).toString() : QString();
}

ResultsListRow ResultsList::made(const LogRecord &record, bool checked, bool kept)
{
    Row added;
    qsizetype length = record.timeText.size();
    for (const QString &cell : record.cells)
        length += cell.size();
    added.text.reserve(length);
    added.text += record.timeText;
    added.ends[Time] = quint32(added.text.size());
    for (int column = Country; column < ColumnCount; ++column) {
        added.text += record.cells[column - 1];
        if (column < Timezone)
            added.ends[column] = quint32(added.text.size());
    }
    readPlace(added, record.cells[Coordinates - 1]);
    added.checked = checked;
    added.kept = kept;
    added.chosen = record.chosen;
    added.leftOut = record.leftOut;
    added.id = record.id ? record.id : LogId::next(QDateTime::currentMSecsSinceEpoch());
    added.httpStatus = qint16(record.httpStatus);
    if (record.instant.isValid()) {
        added.utcMs = record.instant.toMSecsSinceEpoch();
        added.offsetSeconds = record.instant.offsetFromUtc();
    }
    const bool holdsAnswer = !kept && !record.answer.isEmpty()
        && m_heldAnswerBytes + record.answer.size() <= HeldAnswerBytes;
    const QString origin = record.origin.isEmpty() && record.askedBy == Asker::Server
        ? Row::Rare::askedByServer()
        : record.origin;
    if (holdsAnswer || !record.failure.isEmpty() || record.addressAccuracyMetres > 0 || record.wifi
        || !record.mark.isEmpty() || !origin.isEmpty()) {
        added.rare = new Row::Rare;
        added.rare->origin = origin;
        added.rare->failure = record.failure;
        added.rare->addressAccuracyMetres = record.addressAccuracyMetres;
        added.rare->wifi = record.wifi;
        added.rare->mark = record.mark;
        if (holdsAnswer) {
            added.rare->answer = record.answer;
            m_heldAnswerBytes += record.answer.size();
        }
    }
    return added;
}

int ResultsList::appendRecord(const LogRecord &record, bool kept)
{
    const int row = rows();
    beginInsertRows({}, row, row);
    m_rows.append(made(record, false, kept));
    endInsertRows();
    return row;
}

void ResultsList::appendRecords(const QList<LogRecord> &records, const QList<bool> &ticked)
{
    if (records.isEmpty())
        return;
    beginInsertRows({}, rows(), rows() + int(records.size()) - 1);
    for (qsizetype i = 0; i < records.size(); ++i)
        m_rows.append(made(records[i], i < ticked.size() && ticked[i], false));
    endInsertRows();
}

void ResultsList::appendRows(QList<ResultsListRow> &&rows)
{
    if (rows.isEmpty())
        return;
    const int first = this->rows();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    for (Row &row : rows) {
        const quint32 start = row.ends[Coordinates - 1];
        readPlace(row, QStringView(row.text).sliced(start, row.ends[Coordinates] - start));
    }
    m_rows.append(std::move(rows));
    endInsertRows();
}

void ResultsList::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    // Assigning an empty list gives the memory back; QList::clear() would keep the capacity.
    m_rows = {};
    m_heldAnswerBytes = 0;
    endResetModel();
}

QString ResultsList::failure(int row) const
{
    if (row < 0 || row >= rows() || !m_rows[row].rare)
        return {};
    return m_rows[row].rare->failure;
}

LogRecord ResultsList::record(int row) const
{
    if (row < 0 || row >= rows())
        return {};
    return recordOf(m_rows[row]);
}

LogRecord ResultsList::recordOf(const ResultsListRow &source)
{
    LogRecord whole;
    const auto cellOf = [&source](int column) {
        const quint32 start = column == Time ? 0 : source.ends[std::size_t(column - 1)];
        const quint32 end
            = column == Timezone ? quint32(source.text.size()) : source.ends[std::size_t(column)];
        return source.text.mid(start, end - start);
    };
    whole.timeText = cellOf(Time);
    for (int column = Country; column < ColumnCount; ++column)
        whole.cells[std::size_t(column - 1)] = cellOf(column);
    if (source.utcMs != ResultsListRow::UnknownInstant)
        whole.instant
            = QDateTime::fromMSecsSinceEpoch(source.utcMs, Qt::OffsetFromUTC, source.offsetSeconds);
    whole.id = source.id;
    whole.httpStatus = source.httpStatus;
    whole.chosen = source.chosen;
    whole.leftOut = source.leftOut;
    if (source.rare) {
        whole.failure = source.rare->failure;
        whole.answer = source.rare->answer;
        whole.addressAccuracyMetres = source.rare->addressAccuracyMetres;
        whole.wifi = source.rare->wifi;
        whole.mark = source.rare->mark;
        whole.origin = source.rare->origin;
        if (whole.origin == Row::Rare::askedByServer())
            whole.askedBy = Asker::Server;
    }
    return whole;
}

RowFixes ResultsList::fixes(int row) const
{
    if (row < 0 || row >= rows() || !m_rows[row].rare)
        return RowFixes(place(row), 0, std::nullopt);
    const Row::Rare &rare = *m_rows[row].rare;
    return RowFixes(place(row), rare.addressAccuracyMetres, rare.wifi, rare.mark,
                    m_rows[row].chosen);
}

std::optional<Fix> ResultsList::wiFiFix(int row) const
{
    if (row < 0 || row >= rows() || !m_rows[row].rare)
        return std::nullopt;
    return m_rows[row].rare->wifi;
}

ResultsListRow::Rare &ResultsList::rareOf(int row)
{
    Row &target = m_rows[row];
    if (!target.rare)
        target.rare = new Row::Rare;
    else
        target.rare.detach();
    return *target.rare;
}

int ResultsList::findRow(LogId log) const
{
    for (int row = rows() - 1; log && row >= 0; --row) {
        if (m_rows[row].id == log)
            return row;
    }
    return -1;
}

bool ResultsList::joinWiFiFix(LogId log, const Fix &fix)
{
    const int row = findRow(log);
    if (row < 0 || !failure(row).isEmpty())
        return false;
    rareOf(row).wifi = fix;
    const QModelIndex cell = index(row, Coordinates);
    Q_EMIT dataChanged(cell, cell);
    return true;
}

void ResultsList::setKept(int row)
{
    if (row < 0 || row >= rows())
        return;
    Row &target = m_rows[row];
    target.kept = true;
    if (!target.rare || target.rare->answer.isEmpty())
        return;
    m_heldAnswerBytes -= target.rare->answer.size();
    if (target.rare->failure.isEmpty() && target.rare->addressAccuracyMetres <= 0
        && !target.rare->wifi && target.rare->mark.isEmpty()) {
        target.rare.reset();
    } else {
        target.rare.detach();
        target.rare->answer = {};
    }
}

void ResultsList::forgetKept()
{
    for (Row &row : m_rows)
        row.kept = false;
}

void ResultsList::setTicksSaved()
{
    for (Row &row : m_rows)
        row.tickUnsaved = false;
}

QStringView ResultsList::cellView(int row, int column) const
{
    if (row < 0 || row >= rows() || !isColumn(column))
        return {};
    const Row &source = m_rows[row];
    const qsizetype start = column == Time ? 0 : source.ends[column - 1];
    const qsizetype end = column == Timezone ? source.text.size() : source.ends[column];
    return QStringView(source.text).sliced(start, end - start);
}

QDateTime ResultsList::instant(int row) const
{
    if (row < 0 || row >= rows() || m_rows[row].utcMs == Row::UnknownInstant)
        return {};
    const Row &source = m_rows[row];
    return QDateTime::fromMSecsSinceEpoch(source.utcMs, Qt::OffsetFromUTC, source.offsetSeconds);
}

int ResultsList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows();
}

int ResultsList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultsList::data(const QModelIndex &index, int role) const
{
    if (!isCell(*this, index))
        return {};

    // Only the Time cell speaks of a failure: it is the one a reader of the row meets first. The
    // Coordinates cell speaks of a doubt about the place it names.
    const auto failed = [&] {
        if (index.column() == Time)
            return failure(index.row());
        return index.column() == Coordinates ? mark(index.row()) : QString();
    };
    // A log the user's server asked for, or one brought back from a file, says so where a
    // failure would, with no warning.
    const auto asked = [&] {
        const Row &row = m_rows[index.row()];
        return index.column() == Time && row.rare ? row.rare->origin : QString();
    };
    switch (role) {
    case Qt::DisplayRole:
        return cell(index.row(), index.column());
    case Qt::ToolTipRole: {
        const QString text = failed();
        return !text.isEmpty() ? text : asked().isEmpty() ? cellHint() : asked();
    }
    case Qt::AccessibleDescriptionRole: {
        const QString text = failed().isEmpty() ? asked() : failed();
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::DecorationRole:
        return failed().isEmpty() ? QVariant() : warningIcon();
    case Qt::CheckStateRole:
        if (index.column() == Time)
            return int(m_rows[index.row()].checked ? Qt::Checked : Qt::Unchecked);
        return {};
    default:
        return {};
    }
}

bool ResultsList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != Time || !isCell(*this, index))
        return false;

    // Views send a Qt::CheckState; code that ticks rows itself may pass a plain bool.
    bool checked = false;
    if (value.typeId() == QMetaType::Bool) {
        checked = value.toBool();
    } else {
        bool isNumber = false;
        const int state = value.toInt(&isNumber);
        if (!isNumber)
            return false;
        checked = state != Qt::Unchecked;
    }

    Row &target = m_rows[index.row()];
    if (target.checked != checked) {
        target.checked = checked;
        Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    }
    return true;
}

Qt::ItemFlags ResultsList::flags(const QModelIndex &index) const
{
    if (!isCell(*this, index))
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == Time)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant ResultsList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return isColumn(section) ? QVariant(caption(section)) : QVariant();
    return section + 1;
}
