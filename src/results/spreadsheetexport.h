#pragma once

#include "core/slicedjob.h"
#include "results/exportfiles.h"
#include "results/resultslist.h"

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

// Whether RemoveOldExports may later take the file away: a removable one gets a record of what
// was written beside it, and goes only while it is still exactly that.
enum class Lifetime { Kept, Removable };

// Writes the sheet as an .xlsx file at `path` or, when a file of that name exists, under the
// first free name of its series ("... (2).xlsx"); an existing file is never replaced. Returns
// the path written; raises a Failure saying what went wrong. Column widths fit the longest text
// in each column.
QString WriteXlsx(const Sheet &sheet, const QString &path, Lifetime lifetime = Lifetime::Kept);

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

    // Before start(): whether the file may be removed by a later cleanup (see WriteXlsx).
    void setLifetime(Spreadsheet::Lifetime lifetime) { m_lifetime = lifetime; }
    void start();
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    // path: where the sheet went (the series' next free name when the one asked for was
    // taken); ok false: the path asked for, and error says why the file could not be written.
    void finished(bool ok, const QString &path, const QString &error);

private:
    // What the worker thread hands back.
    struct Outcome
    {
        bool ok = false;
        QString path;
        QString error;
    };

    void step();
    // Takes the rows from `from` up to `to` into the sheet.
    void gather(int from, int to);
    void writeInBackground();

    QPointer<const ResultsList> m_list;
    QString m_path;
    Spreadsheet::Lifetime m_lifetime = Spreadsheet::Lifetime::Kept;
    bool m_running = false;
    int m_row = 0;
    int m_rows = 0;
    Spreadsheet::Sheet m_sheet;
    SlicedJob m_job {[this] {
        step();
    }};
};
