#include "results/resultslist.h"

#include <QGuiApplication>
#include <QIcon>

#include <algorithm>

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

int ResultsList::appendRow(const QString &timeText)
{
    const int row = rows();
    beginInsertRows({}, row, row);
    Row added;
    // A copy of exactly the text's length: the caller's string may carry spare capacity that
    // would otherwise stay with the row for the rest of the run.
    added.text = QString(timeText.constData(), timeText.size());
    added.ends.fill(quint32(timeText.size()));
    m_rows.append(std::move(added));
    endInsertRows();
    return row;
}

void ResultsList::addRecord(const LogRecord &record, bool checked)
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
        added.ends[column] = quint32(added.text.size());
    }
    added.checked = checked;
    if (record.instant.isValid()) {
        added.utcMs = record.instant.toMSecsSinceEpoch();
        added.offsetSeconds = record.instant.offsetFromUtc();
    }
    if (!record.failure.isEmpty())
        m_failures.insert(rows(), record.failure);
    m_rows.append(std::move(added));
}

int ResultsList::appendRecord(const LogRecord &record)
{
    const int row = rows();
    beginInsertRows({}, row, row);
    addRecord(record, false);
    endInsertRows();
    return row;
}

void ResultsList::appendRecords(const QList<LogRecord> &records, const QList<bool> &ticked)
{
    if (records.isEmpty())
        return;
    beginInsertRows({}, rows(), rows() + int(records.size()) - 1);
    for (qsizetype i = 0; i < records.size(); ++i)
        addRecord(records[i], i < ticked.size() && ticked[i]);
    endInsertRows();
}

void ResultsList::appendRows(QList<ResultsListRow> &&rows,
                             const QHash<qsizetype, QString> &failures)
{
    if (rows.isEmpty())
        return;
    const int first = this->rows();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.append(std::move(rows));
    for (auto failure = failures.cbegin(); failure != failures.cend(); ++failure)
        m_failures.insert(first + int(failure.key()), failure.value());
    endInsertRows();
}

void ResultsList::setCell(int row, int column, const QString &text)
{
    if (row < 0 || row >= rows() || !isColumn(column))
        return;

    Row &target = m_rows[row];
    const qsizetype start = column == 0 ? 0 : target.ends[column - 1];
    const qsizetype oldEnd = target.ends[column];
    const qsizetype rest = target.text.size() - oldEnd;

    // Built at its final size so that the row holds no spare capacity.
    QString joined(start + text.size() + rest, Qt::Uninitialized);
    QChar *out = joined.data();
    std::copy_n(target.text.constData(), start, out);
    std::copy_n(text.constData(), text.size(), out + start);
    std::copy_n(target.text.constData() + oldEnd, rest, out + start + text.size());
    target.text = std::move(joined);

    const qsizetype growth = text.size() - (oldEnd - start);
    for (int c = column; c < ColumnCount; ++c)
        target.ends[c] = quint32(target.ends[c] + growth);

    const QModelIndex changed = index(row, column);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
}

void ResultsList::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    // Assigning an empty list gives the memory back; QList::clear() would keep the capacity.
    m_rows = {};
    m_failures = {};
    endResetModel();
}

void ResultsList::setFailure(int row, const QString &text)
{
    if (row < 0 || row >= rows() || failure(row) == text)
        return;
    if (text.isEmpty())
        m_failures.remove(row);
    else
        m_failures.insert(row, text);
    const QModelIndex changed = index(row, Time);
    Q_EMIT dataChanged(changed, changed,
                       {Qt::DecorationRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
}

QStringView ResultsList::cellView(int row, int column) const
{
    if (row < 0 || row >= rows() || !isColumn(column))
        return {};
    const Row &source = m_rows[row];
    const qsizetype start = column == 0 ? 0 : source.ends[column - 1];
    return QStringView(source.text).sliced(start, source.ends[column] - start);
}

QDateTime ResultsList::instant(int row) const
{
    if (row < 0 || row >= rows() || m_rows[row].utcMs == UnknownInstant)
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

    // Only the Time cell speaks of a failure: it is the one a reader of the row meets first.
    const auto failed = [&] {
        return index.column() == Time ? failure(index.row()) : QString();
    };
    switch (role) {
    case Qt::DisplayRole:
        return cell(index.row(), index.column());
    case Qt::ToolTipRole: {
        const QString text = failed();
        return text.isEmpty() ? cellHint() : text;
    }
    case Qt::AccessibleDescriptionRole: {
        const QString text = failed();
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
