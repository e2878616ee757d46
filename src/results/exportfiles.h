#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// The spreadsheets handed to the user's application live in the program's cache folder. The
// user may save changes to one in place; such a file is the user's from then on, so each
// export keeps a record of what was written, and only files still exactly as written are ever
// removed.
namespace Spreadsheet {

// $XDG_CACHE_HOME/Brenvatic/Trovanel (or ~/.cache/...).
QString CacheFolder();
// Makes the cache folder, with the program's folders in the path the user's alone, as are the
// sheets written there: they tell where the laptop has been. False when it cannot be made.
bool MakeCacheFolder();
// "Trovanel results 2026-12-07 101502.xlsx"
QString ExportFileName(const QDateTime &when);

// What the program wrote: the file's size and the SHA-256 of its content.
struct Written
{
    qint64 size = 0;
    QByteArray sha256;
};

// The size and content hash of the file; nothing when it cannot be read.
std::optional<Written> WrittenFile(const QString &path);

// Moves the finished file `pending` to `wanted` or, when that name is taken, to the first free
// one of "name (2).xlsx", "name (3).xlsx", ...; a file already there is never replaced, even
// one that appears while this runs. Both must be in the same folder. Returns the path taken;
// raises a Failure whose text (to follow a colon) says why none could be.
QString PlaceWithoutReplacing(const QString &pending, const QString &wanted);

// Keeps the record of what was written beside the export, so that RemoveOldExports can tell
// whether it is still as written. False when the record could not be written; the export is
// then never removed.
bool RecordExport(const QString &path, const Written &written);

// At start: the cache folder, where there is one, and every file in it become the user's alone
// (an earlier version left them open to others). Then removes the exports in the folder older
// than maxAgeSeconds that are still exactly as written, each with its record. An export that
// changed, has no record (from a version that kept none) or cannot be read is left alone; the
// record of one that changed or went away is dropped, so that it is never taken for the
// program's own again.
void RemoveOldExports(const QDateTime &now, qint64 maxAgeSeconds = 24 * 3600);

} // namespace Spreadsheet
