// The spaced text and the clipboard text of arbitrary tables: each line keeps its tabs where
// the widths put them, and the clipboard lines end as promised.
#include "results/resultslist.h"
#include "results/textexport.h"

#include <QStringList>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Rows are separated by 0x1e, cells by 0x1f; a row's first byte says whether it is ticked.
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    ResultsList list;
    for (const QString &rowText : input.split(QChar(0x1e))) {
        const QStringList cells = rowText.split(QChar(0x1f));
        LogRecord record;
        record.timeText = cells.value(0);
        for (int c = 1; c < ResultsList::ColumnCount; ++c)
            record.cells[std::size_t(c - 1)] = cells.value(c);
        const int row = list.appendRecord(record).row;
        if (!rowText.isEmpty() && rowText.at(0).unicode() % 2)
            list.setData(list.index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }

    const TextExport::Widths spaced = TextExport::SpacedWidths(list, list.rows());
    qsizetype lineLength = 2 + ResultsList::ColumnCount;
    for (const int w : spaced)
        lineLength += w;
    // Every line of the file is as long as the widths say: the tabs line up.
    auto check = [&](const TextExport::Cells &cells) {
        QString line;
        TextExport::AppendSpacedLine(line, cells, spaced);
        if (line.size() != lineLength || !line.endsWith(QStringLiteral("\t\r\n")))
            std::abort();
    };
    check(TextExport::CaptionCells());
    for (int r = 0; r < list.rows(); ++r)
        check(TextExport::RowCells(list, r));

    const TextExport::Widths clip = TextExport::ClipboardWidths(list, list.rows());
    for (int r = 0; r < list.rows(); ++r) {
        QString line;
        TextExport::AppendClipboardLine(line, TextExport::RowCells(list, r), clip);
        if (!line.endsWith(QStringLiteral("\r\n")))
            std::abort();
        const QStringView body = QStringView(line).chopped(2);
        if (body.endsWith(u' '))
            std::abort();
    }
    return 0;
}
