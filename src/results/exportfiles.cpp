#include "results/exportfiles.h"

#include "core/failure.h"
#include "core/privatefiles.h"
#include "core/xdgfolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace Spreadsheet {
namespace {

const QString ExportPattern = QStringLiteral("Trovanel results *.xlsx");
const QString RecordPrefix = QStringLiteral(".");
// Longer than the six random letters of a file being written, so never taken for one.
const QString RecordSuffix = QStringLiteral(".written");
// A workbook being written: hidden, with six random letters after the export's name.
const QString PendingPattern = QStringLiteral(".Trovanel results *.xlsx.??????");

// More exports than this within one second would be a runaway, not a user.
constexpr int NamesPerSecond = 1000;

// The hidden record beside the export.
QString RecordPath(const QFileInfo &file)
{
    return file.absolutePath() + QLatin1Char('/') + RecordPrefix + file.fileName() + RecordSuffix;
}

// "size sha256-in-hex" on one line.
std::optional<Written> ReadRecord(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> fields = file.read(200).trimmed().split(' ');
    if (fields.size() != 2)
        return std::nullopt;
    Written written;
    bool number = false;
    written.size = fields[0].toLongLong(&number);
    written.sha256 = QByteArray::fromHex(fields[1]);
    if (!number || written.size < 0 || written.sha256.size() != 32)
        return std::nullopt;
    return written;
}

// The name of the series after `wanted`: "name (2).xlsx" for the second.
QString NumberedName(const QString &wanted, int number)
{
    if (number == 1)
        return wanted;
    const QFileInfo file(wanted);
    const QString name = file.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.first(dot) : name;
    const QString extension = dot > 0 ? name.sliced(dot) : QString();
    return file.path() + QLatin1Char('/') + stem + QStringLiteral(" (%1)").arg(number) + extension;
}

// Gives the file its final name unless that name is taken: 0, or the errno (EEXIST when
// taken).
int MoveUnlessTaken(const QByteArray &from, const QByteArray &to)
{
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // File systems without an exclusive rename still refuse a second link to a name that is
    // taken; the hidden name then goes, leaving the file under the final one.
    if (link(from.constData(), to.constData()) != 0)
        return errno;
    unlink(from.constData());
    return 0;
}

enum class Comparison { Same, Changed, Unreadable };

Comparison CompareWithRecord(const QFileInfo &file, const Written &written)
{
    // Most saves change the size, which needs no reading.
    if (file.size() != written.size)
        return Comparison::Changed;
    const std::optional<Written> now = WrittenFile(file.absoluteFilePath());
    if (!now)
        return Comparison::Unreadable;
    return now->size == written.size && now->sha256 == written.sha256 ? Comparison::Same
                                                                      : Comparison::Changed;
}

} // namespace

QString CacheFolder()
{
    return Xdg::cacheHome() + QStringLiteral("/Brenvatic/Trovanel");
}

bool MakeCacheFolder()
{
    return PrivateFiles::makeFolders(Xdg::cacheHome(), CacheFolder());
}

QString ExportFileName(const QDateTime &when)
{
    return QStringLiteral("Trovanel results ") + when.toString(u"yyyy-MM-dd HHmmss")
        + QStringLiteral(".xlsx");
}

std::optional<Written> WrittenFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || !file.atEnd())
        return std::nullopt;
    return Written {file.pos(), hash.result()};
}

QString PlaceWithoutReplacing(const QString &pending, const QString &wanted)
{
    const QByteArray from = QFile::encodeName(pending);
    for (int number = 1; number <= NamesPerSecond; ++number) {
        const QString path = NumberedName(wanted, number);
        const int error = MoveUnlessTaken(from, QFile::encodeName(path));
        if (error == 0)
            return path;
        if (error != EEXIST)
            throw Failure(qt_error_string(error));
    }
    throw Failure(QStringLiteral("%1 files of that name exist already").arg(NamesPerSecond));
}

bool RecordExport(const QString &path, const Written &written)
{
    // Written whole or not at all: a record cut short would read as none, which keeps the
    // export for good rather than removing the user's file.
    QSaveFile record(RecordPath(QFileInfo(path)));
    if (!record.open(QIODevice::WriteOnly))
        return false;
    record.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    record.write(QByteArray::number(written.size) + ' ' + written.sha256.toHex() + '\n');
    return record.commit();
}

void RemoveOldExports(const QDateTime &now, qint64 maxAgeSeconds)
{
    const QDir folder(CacheFolder());
    QStringList files;
    for (const QFileInfo &file : folder.entryInfoList(QDir::Files | QDir::Hidden))
        files << file.absoluteFilePath();
    PrivateFiles::tighten(Xdg::cacheHome(), folder.path(), files);

    const QDateTime cutoff = now.addSecs(-maxAgeSeconds);
    const QFileInfoList exports = folder.entryInfoList(
        {ExportPattern}, QDir::Files | QDir::CaseSensitive | QDir::NoDotAndDotDot);
    // A file that cannot be removed (or another copy of the program got to first) is left to
    // the next run; the cache is no place to bother the user about.
    for (const QFileInfo &file : exports) {
        if (file.lastModified() >= cutoff)
            continue;
        const QString record = RecordPath(file);
        const std::optional<Written> written = ReadRecord(record);
        if (!written)
            continue;
        switch (CompareWithRecord(file, *written)) {
        case Comparison::Same:
            if (QFile::remove(file.absoluteFilePath()))
                QFile::remove(record);
            break;
        case Comparison::Changed:
            // The user saved to it: theirs now, and never to be removed.
            QFile::remove(record);
            break;
        case Comparison::Unreadable:
            break;
        }
    }

    // A workbook still being written a day later was left by a copy of the program that ended
    // while writing it: half a sheet, no use to anyone, and as large as the table was.
    const QFileInfoList pending = folder.entryInfoList(
        {PendingPattern}, QDir::Files | QDir::Hidden | QDir::CaseSensitive | QDir::NoDotAndDotDot);
    for (const QFileInfo &file : pending) {
        if (file.lastModified() < cutoff)
            QFile::remove(file.absoluteFilePath());
    }

    // The user moved or deleted the export: its record would only stay behind.
    const QFileInfoList records = folder.entryInfoList(
        {RecordPrefix + ExportPattern + RecordSuffix},
        QDir::Files | QDir::Hidden | QDir::CaseSensitive | QDir::NoDotAndDotDot);
    for (const QFileInfo &record : records) {
        const QString name = record.fileName();
        const QString exported = name.sliced(
            RecordPrefix.size(), name.size() - RecordPrefix.size() - RecordSuffix.size());
        if (!QFileInfo::exists(folder.filePath(exported)))
            QFile::remove(record.absoluteFilePath());
    }
}

} // namespace Spreadsheet
