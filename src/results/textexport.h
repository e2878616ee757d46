#pragma once

#include "core/slicedjob.h"
#include "results/resultslist.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringEncoder>
#include <QStringView>
#include <array>

class QIODevice;

// The two text exports of the results: the spaced text file (a header line and the ticked rows,
// every cell padded to its column's width and followed by a tab, CR LF after every line) and
// the clipboard text (ticked rows only, the last cell's trailing spaces removed).
namespace TextExport {

using Widths = std::array<int, ResultsList::ColumnCount>;
using Cells = std::array<QStringView, ResultsList::ColumnCount>;

// The text after the last '/' of a path: the whole path when it holds none, empty when it ends
// with one.
QString FileNameOnly(const QString &path);

// Widths of the text file: each caption and the cells of the first `rows` rows, ticked or not.
Widths SpacedWidths(const ResultsList &list, int rows);
// Widths of the clipboard text: the cells of the first `rows` rows; captions do not count.
Widths ClipboardWidths(const ResultsList &list, int rows);
// Widens the columns to the cells of the rows from `from` up to `to`.
void Widen(Widths &widths, const ResultsList &list, int from, int to);
// The room one line takes at most with these widths, for reserving ahead.
qsizetype LineRoom(const Widths &widths);

// One line of the text file: each cell, its padding (none when it is longer than its width)
// and a tab; then CR LF. Nothing is trimmed.
void AppendSpacedLine(QString &out, const Cells &cells, const Widths &widths);
// One line of the clipboard text: as above, then the last tab removed, then the spaces at the
// end removed (a tab stops that), then CR LF.
void AppendClipboardLine(QString &out, const Cells &cells, const Widths &widths);

// The cells of one row, read in place.
Cells RowCells(const ResultsList &list, int row);
Cells CaptionCells();

} // namespace TextExport

// Writes the spaced text file of a results list to a device, in slices of the event loop so
// the window stays live: widths first (the row count fixed when that pass begins), then the
// header and the ticked rows (the row count fixed again). The file is UTF-8 without a
// byte-order mark.
class SpacedTextSave : public QObject
{
    Q_OBJECT

public:
    SpacedTextSave(const ResultsList *list, QIODevice *device, const QString &path,
                   QObject *parent = nullptr);

    void start();
    bool isRunning() const { return m_job.isRunning(); }

Q_SIGNALS:
    // position: 0 to 100, never above; text: the bar's new text, or a null string to leave it
    // as it is.
    void progress(int position, const QString &text);
    // ok false: the device refused a write; error says why. Nothing more is written.
    void finished(bool ok, const QString &error);

private:
    enum class Pass { Begin, Widths, Rows };
    enum class Slice { Complete, Paused, Failed };

    void step();
    bool widthsSlice();
    Slice rowsSlice();
    void reportRow(int row);
    void encodeLines();
    bool writeBuffer();
    void fail();
    void finish();

    const ResultsList *m_list;
    QIODevice *m_device;
    // "Writing file: " and the file's name: the bar's text while the passes run.
    QString m_fileText;
    Pass m_pass = Pass::Begin;
    int m_row = 0;
    // The row count fixed when the running pass began.
    int m_rows = 0;
    TextExport::Widths m_widths {};
    int m_lastPosition = -1;
    SlicedJob m_job {[this] {
        step();
    }};
    // Lines of the current stretch of rows, then their UTF-8 waiting for the device.
    QString m_lines;
    QByteArray m_buffer;
    QStringEncoder m_encoder {QStringEncoder::Utf8};
};
