#include "results/textexport.h"

#include "core/progresstext.h"

#include <QFileDevice>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr int ColumnCount = ResultsList::ColumnCount;

// Text waiting for the device goes out at the end of a slice, or sooner once it is this large.
constexpr qsizetype WriteThreshold = qsizetype(1) << 20;

constexpr char16_t Spaces[] = u"                                                                ";
constexpr qsizetype SpacesLength = qsizetype(std::size(Spaces)) - 1;

QChar *put(QChar *out, QStringView text)
{
    // An empty view may have no data at all, which memcpy must not be given.
    if (text.isEmpty())
        return out;
    std::memcpy(static_cast<void *>(out), text.data(), size_t(text.size()) * sizeof(QChar));
    return out + text.size();
}

QChar *putSpaces(QChar *out, qsizetype count)
{
    while (count > 0) {
        const qsizetype piece = std::min(count, SpacesLength);
        out = put(out, QStringView(Spaces, piece));
        count -= piece;
    }
    return out;
}

// A cell with its padding: none when the cell is longer than its column (a row added after the
// widths were taken).
qsizetype paddedLength(QStringView cell, int width)
{
    return std::max(cell.size(), qsizetype(width));
}

QChar *putPadded(QChar *out, QStringView cell, int width)
{
    out = put(out, cell);
    return putSpaces(out, width - cell.size());
}

QStringView withoutTrailingSpaces(QStringView text)
{
    qsizetype size = text.size();
    while (size > 0 && text[size - 1] == u' ')
        --size;
    return text.first(size);
}

// Grows out by length characters and returns where they start; the caller fills all of them.
QChar *extend(QString &out, qsizetype length)
{
    const qsizetype start = out.size();
    out.resize(start + length);
    return out.data() + start;
}

} // namespace

namespace TextExport {

QString FileNameOnly(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

Widths SpacedWidths(const ResultsList &list, int rows)
{
    Widths widths {};
    const Cells captions = CaptionCells();
    for (int column = 0; column < ColumnCount; ++column)
        widths[column] = int(captions[column].size());
    Widen(widths, list, 0, std::min(rows, list.rows()));
    return widths;
}

Widths ClipboardWidths(const ResultsList &list, int rows)
{
    Widths widths {};
    Widen(widths, list, 0, std::min(rows, list.rows()));
    return widths;
}

void Widen(Widths &widths, const ResultsList &list, int from, int to)
{
    for (int row = from; row < to; ++row) {
        for (int column = 0; column < ColumnCount; ++column)
            widths[column] = std::max(widths[column], int(list.cellView(row, column).size()));
    }
}

qsizetype LineRoom(const Widths &widths)
{
    qsizetype room = ColumnCount + 2;
    for (int width : widths)
        room += width;
    return room;
}

void AppendSpacedLine(QString &out, const Cells &cells, const Widths &widths)
{
    qsizetype length = ColumnCount + 2;
    for (int column = 0; column < ColumnCount; ++column)
        length += paddedLength(cells[column], widths[column]);

    QChar *at = extend(out, length);
    for (int column = 0; column < ColumnCount; ++column) {
        at = putPadded(at, cells[column], widths[column]);
        *at++ = u'\t';
    }
    *at++ = u'\r';
    *at = u'\n';
}

void AppendClipboardLine(QString &out, const Cells &cells, const Widths &widths)
{
    // The last cell's padding and its own trailing spaces would all be removed again, so only
    // the trimmed cell is put down; the tab before it stops the trimming.
    constexpr int Last = ColumnCount - 1;
    const QStringView last = withoutTrailingSpaces(cells[Last]);
    qsizetype length = Last + last.size() + 2;
    for (int column = 0; column < Last; ++column)
        length += paddedLength(cells[column], widths[column]);

    QChar *at = extend(out, length);
    for (int column = 0; column < Last; ++column) {
        at = putPadded(at, cells[column], widths[column]);
        *at++ = u'\t';
    }
    at = put(at, last);
    *at++ = u'\r';
    *at = u'\n';
}

Cells RowCells(const ResultsList &list, int row)
{
    Cells cells;
    for (int column = 0; column < ColumnCount; ++column)
        cells[column] = list.cellView(row, column);
    return cells;
}

Cells CaptionCells()
{
    Cells cells;
    for (int column = 0; column < ResultsList::ColumnCount; ++column)
        cells[column] = QStringView(ResultsList::Captions[column]);
    return cells;
}

} // namespace TextExport

SpacedTextSave::SpacedTextSave(const ResultsList *list, QIODevice *device, const QString &path,
                               QObject *parent)
    : QObject(parent),
      m_list(list),
      m_device(device),
      m_fileText(QStringLiteral("Writing file: ") + TextExport::FileNameOnly(path))
{ }

void SpacedTextSave::start()
{
    if (isRunning())
        return;
    m_pass = Pass::Begin;
    m_row = 0;
    m_rows = 0;
    m_lastPosition = -1;
    m_lines.clear();
    m_buffer.clear();
    m_job.start();
}

void SpacedTextSave::step()
{
    if (m_pass == Pass::Begin) {
        Q_EMIT progress(1, m_fileText);
        m_rows = m_list->rows();
        m_row = 0;
        m_widths = TextExport::SpacedWidths(*m_list, 0);
        m_pass = Pass::Widths;
    }
    if (m_pass == Pass::Widths) {
        if (!widthsSlice())
            return;
        Q_EMIT progress(10, m_fileText);

        m_rows = m_list->rows();
        m_row = 0;
        m_lines.reserve(TextExport::LineRoom(m_widths) * SlicedJob::RowsPerLook);
        TextExport::AppendSpacedLine(m_lines, TextExport::CaptionCells(), m_widths);
        Q_EMIT progress(20, m_fileText);
        m_lastPosition = 20;
        m_pass = Pass::Rows;
    }
    switch (rowsSlice()) {
    case Slice::Paused:
        encodeLines();
        if (!writeBuffer())
            fail();
        return;
    case Slice::Failed:
        fail();
        return;
    case Slice::Complete:
        break;
    }

    encodeLines();
    if (!writeBuffer()) {
        fail();
        return;
    }
    Q_EMIT progress(100, QStringLiteral("Done."));
    finish();
}

// Returns true once the widths are complete, false when the slice is over first.
bool SpacedTextSave::widthsSlice()
{
    return m_job.throughRows(
        m_row,
        // The table may have been cleared since the pass began.
        [this] { return std::min(m_rows, m_list->rows()); },
        [this](int from, int to) { TextExport::Widen(m_widths, *m_list, from, to); });
}

SpacedTextSave::Slice SpacedTextSave::rowsSlice()
{
    for (;;) {
        const int stop = std::min(m_rows, m_row + SlicedJob::RowsPerLook);
        for (; m_row < stop; ++m_row) {
            // The progress slots run between rows and may clear the table.
            if (m_row >= m_list->rows())
                return Slice::Complete;
            if (!m_list->isChecked(m_row))
                continue;
            reportRow(m_row + 1);
            if (m_row >= m_list->rows())
                return Slice::Complete;
            TextExport::AppendSpacedLine(m_lines, TextExport::RowCells(*m_list, m_row), m_widths);
        }
        if (m_row >= m_rows)
            return Slice::Complete;
        encodeLines();
        if (m_buffer.size() > WriteThreshold && !writeBuffer())
            return Slice::Failed;
        if (m_job.turnIsOver())
            return Slice::Paused;
    }
}

void SpacedTextSave::reportRow(int row)
{
    const int count = m_list->rows();
    // A long table's rows count a twentieth of a percent ahead; the last row's 100.05 is taken
    // down to 100, where the bar ends.
    const int position = int((row + count / 2000) / double(count) * 100);
    QString text;
    if (row % 1000 == 0)
        text = m_fileText + QStringLiteral(" (") + QString::number(row) + u')';
    // Most rows leave the bar as it is; a signal for each of a million rows would be waste.
    if (position == m_lastPosition && text.isNull())
        return;
    m_lastPosition = position;
    Q_EMIT progress(position, text);
}

void SpacedTextSave::encodeLines()
{
    if (m_lines.isEmpty())
        return;
    const qsizetype start = m_buffer.size();
    m_buffer.resize(start + m_encoder.requiredSpace(m_lines.size()));
    char *end = m_encoder.appendToBuffer(m_buffer.data() + start, m_lines);
    m_buffer.truncate(end - m_buffer.constData());
    m_lines.resize(0);
}

bool SpacedTextSave::writeBuffer()
{
    if (m_buffer.isEmpty())
        return true;
    const qint64 written = m_device->write(m_buffer);
    if (written != m_buffer.size())
        return false;
    m_buffer.resize(0);
    // A file keeps small writes in its own buffer; a full disk shows only when that goes out.
    if (auto *file = qobject_cast<QFileDevice *>(m_device))
        return file->flush();
    return true;
}

void SpacedTextSave::fail()
{
    m_job.stop();
    m_lines = QString();
    m_buffer = QByteArray();
    Q_EMIT finished(false, m_device->errorString());
}

void SpacedTextSave::finish()
{
    m_job.stop();
    m_lines = QString();
    m_buffer = QByteArray();
    Q_EMIT progress(0, ProgressIdleText());
    Q_EMIT finished(true, {});
}
