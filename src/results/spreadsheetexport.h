#pragma once

#include "results/resultslist.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The results opened in the user's spreadsheet application: an .xlsx written to the program's
// cache folder and handed to the desktop's default application for spreadsheets.
namespace Spreadsheet {

// The sheet: row 1 the captions, table row r on sheet row r + 1; an unticked row stays empty.
// Every value is text; "=" is removed from columns 2 to 7.
struct Sheet
{
    QStringList captions;
    QList<std::optional<std::array<QString, ResultsList::ColumnCount>>> rows;
};

// The cell text as the sheet takes it: column 0 (the time) unchanged, "=" removed elsewhere.
QString SheetText(int column, QStringView cell);

// Writes the sheet as an .xlsx file; raises a Failure saying what went wrong. Column widths fit
// the longest text in each column.
void WriteXlsx(const Sheet &sheet, const QString &path);

// $XDG_CACHE_HOME/Brenvatic/Trovanel (or ~/.cache/...).
QString CacheFolder();
// "Trovanel results 2026-12-07 101502.xlsx"
QString ExportFileName(const QDateTime &when);
// Removes the exports in the cache folder older than maxAgeSeconds.
void RemoveOldExports(const QDateTime &now, qint64 maxAgeSeconds = 24 * 3600);

// Whether this desktop has an application that opens .xlsx files: the default handler of the
// spreadsheet MIME type, or LibreOffice Calc or Gnumeric on the PATH.
bool IsExcelInstalled();
// Hands the file to that application; false when the desktop refused.
bool OpenInSpreadsheet(const QString &path);

} // namespace Spreadsheet

// Gathers the sheet from a results list in slices of the event loop (the row count fixed when
// it begins), writes the file on a worker thread, and reports the file's path.
class SpreadsheetExport : public QObject
{
    Q_OBJECT

public:
    SpreadsheetExport(const ResultsList *list, const QString &path, QObject *parent = nullptr);

    void start();
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    // ok false: error says why the file could not be written.
    void finished(bool ok, const QString &path, const QString &error);

private:
    // What the worker thread hands back.
    struct Outcome
    {
        bool ok = false;
        QString error;
    };

    void step();
    void writeInBackground();

    QPointer<const ResultsList> m_list;
    QString m_path;
    bool m_running = false;
    int m_row = 0;
    int m_rows = 0;
    Spreadsheet::Sheet m_sheet;
};
