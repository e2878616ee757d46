#include "results/spreadsheetexport.h"

#include "core/failure.h"
#include "results/xlsxwriterlibrary.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace Spreadsheet {
namespace {

// What a worksheet cell and a worksheet hold at most.
constexpr qsizetype CellTextMax = 32767;
constexpr int SheetRowMax = 1048576;
// Spreadsheet applications take no column wider than this many characters.
constexpr int ColumnWidthMax = 255;
// Room beside the longest text, so that it does not touch the next column's.
constexpr int ColumnPadding = 2;

// Longer text is cut where the sheet stops, never inside a character made of two halves.
QStringView FitCell(QStringView text)
{
    if (text.size() <= CellTextMax)
        return text;
    text = text.first(CellTextMax);
    if (text.back().isHighSurrogate())
        text.chop(1);
    return text;
}

// The room the text takes on screen, in average characters: East Asian characters and those
// outside the basic plane are about twice as wide as Latin letters.
int DisplayWidth(QStringView text)
{
    int width = 0;
    for (const QChar unit : text) {
        const char16_t u = unit.unicode();
        if (u < 0x1100)
            width += 1;
        else if (QChar::isHighSurrogate(u))
            width += 2;
        else if (QChar::isLowSurrogate(u))
            continue;
        else if ((u <= 0x115f) || (u >= 0x2e80 && u <= 0xa4cf) || (u >= 0xac00 && u <= 0xd7a3)
                 || (u >= 0xf900 && u <= 0xfaff) || (u >= 0xfe30 && u <= 0xfe4f)
                 || (u >= 0xff00 && u <= 0xff60) || (u >= 0xffe0 && u <= 0xffe6))
            width += 2;
        else
            width += 1;
    }
    return width;
}

// Turns cells into the NUL-terminated UTF-8 the writer takes, reusing one buffer: a sheet of a
// hundred thousand rows would otherwise allocate a byte array per cell.
class Utf8Cells
{
public:
    const char *operator()(QStringView text)
    {
        const qsizetype needed = m_encoder.requiredSpace(text.size()) + 1;
        if (m_bytes.size() < needed)
            m_bytes.resize(std::max(needed, qsizetype(256)));
        char *end = m_encoder.appendToBuffer(m_bytes.data(), text);
        *end = '\0';
        return m_bytes.constData();
    }

private:
    QStringEncoder m_encoder {QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    QByteArray m_bytes;
};

QString WriteError(const QString &path, const QString &reason)
{
    return QStringLiteral("The spreadsheet %1 could not be written: %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString WriterError(const XlsxWriterLibrary &writer, const QString &path, lxw_error error)
{
    return WriteError(path, QString::fromUtf8(writer.lxw_strerror(error)));
}

struct WorkbookFree
{
    const XlsxWriterLibrary *writer;
    void operator()(lxw_workbook *book) const { writer->lxw_workbook_free(book); }
};

} // namespace

QString SheetText(int column, QStringView cell)
{
    // A leading "=" would make some applications take the cell for a formula; the time is the
    // program's own text and keeps its form.
    QString text = cell.toString();
    if (column != ResultsList::Time)
        text.remove(u'=');
    return text;
}

QString WriteXlsx(const Sheet &sheet, const QString &path, Lifetime lifetime)
{
    // The captions take the first sheet row, so the last results row is one short of the end.
    for (qsizetype r = sheet.rows.size() - 1; r >= SheetRowMax - 1; --r) {
        if (sheet.rows[r]) {
            throw Failure(WriteError(
                path, QStringLiteral("a worksheet holds at most %L1 rows").arg(SheetRowMax)));
        }
    }

    const XlsxWriterLibrary *loaded = nullptr;
    try {
        loaded = &XlsxWriterLibrary::get();
    } catch (const Failure &failure) {
        throw Failure(WriteError(path, failure.description()));
    }
    const XlsxWriterLibrary &writer = *loaded;

    // The workbook is written under a hidden name beside the target and moved to its name at the
    // end, so that a failed write never leaves half a file under the name the user is shown.
    const QFileInfo target(path);
    QTemporaryFile pending(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                           + QStringLiteral(".XXXXXX"));
    if (!pending.open())
        throw Failure(WriteError(path, pending.errorString()));
    pending.close();
    const QByteArray pendingName = QFile::encodeName(pending.fileName());

    // Rows go out in order, so the writer can stream them to disk instead of keeping every
    // cell in memory until the end.
    QByteArray tempFolder = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tempFolder.data();
    std::unique_ptr<lxw_workbook, WorkbookFree> book(
        writer.workbook_new_opt(pendingName.constData(), &options), WorkbookFree {&writer});
    if (!book)
        throw Failure(WriterError(writer, path, LXW_ERROR_MEMORY_MALLOC_FAILED));
    lxw_worksheet *worksheet = writer.workbook_add_worksheet(book.get(), nullptr);
    if (!worksheet) {
        throw Failure(WriteError(path,
                                 QStringLiteral("no worksheet could be started in the "
                                                "temporary folder %1")
                                     .arg(QDir::toNativeSeparators(QDir::tempPath()))));
    }

    // After the first refusal nothing more is written; the workbook is still closed, since
    // that is what releases the writer's temporary files.
    lxw_error refused = LXW_NO_ERROR;
    Utf8Cells utf8;
    std::array<int, ResultsList::ColumnCount> widths {};
    auto put = [&](lxw_row_t row, lxw_col_t column, QStringView text) {
        text = FitCell(text);
        widths[column] = std::max(widths[column], DisplayWidth(text));
        refused = writer.worksheet_write_string(worksheet, row, column, utf8(text), nullptr);
        return refused == LXW_NO_ERROR;
    };

    bool writing = true;
    const int captions = std::min(int(sheet.captions.size()), ResultsList::ColumnCount);
    for (int column = 0; writing && column < captions; ++column)
        writing = put(0, lxw_col_t(column), sheet.captions[column]);
    for (qsizetype r = 0; writing && r < sheet.rows.size(); ++r) {
        if (const auto &row = sheet.rows[r]) {
            for (int column = 0; writing && column < ResultsList::ColumnCount; ++column)
                writing = put(lxw_row_t(r + 1), lxw_col_t(column), (*row)[column]);
        }
    }

    // The column sizes are kept apart from the streamed rows and written when the workbook
    // closes, so they can follow the cells.
    for (int column = 0; column < ResultsList::ColumnCount; ++column) {
        const double width = std::min(widths[column] + ColumnPadding, ColumnWidthMax);
        writer.worksheet_set_column(worksheet, lxw_col_t(column), lxw_col_t(column), width,
                                    nullptr);
    }

    const lxw_error closed = writer.workbook_close(book.release());
    if (refused != LXW_NO_ERROR)
        throw Failure(WriterError(writer, path, refused));
    if (closed != LXW_NO_ERROR)
        throw Failure(WriterError(writer, path, closed));

    // The record describes the bytes written here, before the user's application can see them.
    std::optional<Written> written;
    if (lifetime == Lifetime::Removable)
        written = WrittenFile(pending.fileName());
    QString placed;
    try {
        placed = PlaceWithoutReplacing(pending.fileName(), path);
    } catch (const Failure &failure) {
        throw Failure(WriteError(path, failure.description()));
    }
    // The hidden name is gone; another write may take it from now on.
    pending.setAutoRemove(false);
    // Without its record the export merely stays in the cache, which is no reason to fail.
    if (written)
        RecordExport(placed, *written);
    return placed;
}

bool OpenInSpreadsheet(const QString &path)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return true;
    // Display plugins without desktop services (offscreen, framebuffer) refuse to open
    // anything; the desktop's own opener still knows which application the user chose.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    return !opener.isEmpty()
        && QProcess::startDetached(opener, {QFileInfo(path).absoluteFilePath()});
}

} // namespace Spreadsheet

SpreadsheetExport::SpreadsheetExport(const ResultsList *list, const QString &path, QObject *parent)
    : QObject(parent), m_list(list), m_path(path)
{ }

void SpreadsheetExport::start()
{
    if (m_running)
        return;
    m_running = true;
    m_row = 0;
    m_rows = m_list ? m_list->rows() : 0;
    m_sheet = {};
    for (int column = 0; column < ResultsList::ColumnCount; ++column)
        m_sheet.captions.append(ResultsList::caption(column));
    m_sheet.rows.reserve(m_rows);
    m_job.start();
}

void SpreadsheetExport::step()
{
    // Rows logged meanwhile are left out; a table that was cleared (or went away) ends the
    // sheet where it now ends.
    m_rows = std::min(m_rows, m_list ? m_list->rows() : 0);

    const bool gathered = m_job.throughRows(
        m_row, [this] { return m_rows; }, [this](int from, int to) { gather(from, to); });
    if (!gathered)
        return;
    m_job.stop();
    writeInBackground();
}

void SpreadsheetExport::gather(int from, int to)
{
    for (int row = from; row < to; ++row) {
        if (m_list->isChecked(row)) {
            std::array<QString, ResultsList::ColumnCount> cells;
            for (int column = 0; column < ResultsList::ColumnCount; ++column)
                cells[column] = Spreadsheet::SheetText(column, m_list->cellView(row, column));
            m_sheet.rows.append(std::move(cells));
        } else {
            m_sheet.rows.append(std::nullopt);
        }
    }
}

void SpreadsheetExport::writeInBackground()
{
    // The worker owns the sheet and its outcome; this object may be gone before it finishes,
    // and then nobody hears of it.
    auto outcome = std::make_shared<Outcome>();
    QThread *worker = QThread::create(
        [sheet = std::move(m_sheet), path = m_path, lifetime = m_lifetime, outcome]() mutable {
            // Taken over here so that its many cells are freed on this thread, not the window's.
            const Spreadsheet::Sheet written = std::move(sheet);
            outcome->path = path;
            try {
                outcome->path = Spreadsheet::WriteXlsx(written, path, lifetime);
                outcome->ok = true;
            } catch (const Failure &failure) {
                outcome->error = failure.description();
            } catch (const std::exception &e) {
                outcome->error
                    = QStringLiteral("The spreadsheet %1 could not be written: %2")
                          .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(e.what()));
            }
        });
    m_sheet = {};
    connect(worker, &QThread::finished, this, [this, outcome] {
        m_running = false;
        Q_EMIT finished(outcome->ok, outcome->path, outcome->error);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}
