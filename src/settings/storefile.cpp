#include "settings/storefile.h"

#include "core/failure.h"
#include "core/privatefiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Settings::StoreFile {
namespace {

struct SharedState
{
    QMutex mutex;
    // Qt parses a file once and keeps the result in a process-wide cache; while the file is
    // unchanged on disk, later QSettings objects reuse that result and report no format error.
    // So the first verdict on a damaged file is remembered here, by the hash of its bytes, or a
    // later save would rewrite it with only the lines Qt understood.
    QHash<QString, QByteArray> damagedContent;
};

SharedState &shared()
{
    static SharedState state;
    return state;
}

// A slash would make QSettings file the value in a nested group where no lookup finds it, and an
// empty key is dropped by QSettings without a word.
void checkName(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        throw Failure(QStringLiteral("%1 cannot name a setting: a name must not be empty or "
                                     "hold a slash.")
                          .arg(quoted(name)));
}

// The file's bytes (none when there is no file yet). Reading them ourselves tells an unreadable
// file apart from a missing one: Qt treats both as empty, and for an unchanged file it would
// not even look again.
QByteArray readStoreBytes(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.isDir())
        throw Failure(QStringLiteral("The settings file %1 cannot be read: it is a folder.")
                          .arg(quoted(path)));
    // A pipe or device there could block the program for good.
    if (!info.isFile())
        throw Failure(
            QStringLiteral("The settings file %1 cannot be read: it is not a regular file.")
                .arg(quoted(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The settings file %1 cannot be read: %2.")
                          .arg(quoted(path), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("The settings file %1 cannot be read: %2.")
                          .arg(quoted(path), file.errorString()));
    return bytes;
}

// Qt reports a failed save only after it has changed its cached copy of the file, so a save that
// cannot succeed is refused before anything changes.
void checkWritable(const QString &path, const QString &key)
{
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    QString reason;
    if (!PrivateFiles::makeFolders(QFileInfo(folder).absolutePath(), folder))
        reason = QStringLiteral("the folder %1 cannot be created").arg(quoted(folder));
    else if (!QFileInfo(folder).isWritable())
        reason = QStringLiteral("the folder %1 is read-only").arg(quoted(folder));
    else if (file.exists() && !file.isWritable())
        reason = QStringLiteral("the file is read-only");
    else if (const QFileInfo lock(path + QStringLiteral(".lock")); lock.exists() && !lock.isFile())
        // Qt would wait forever for a lock file it can never create.
        reason = QStringLiteral("%1 is in the way of its lock file").arg(quoted(lock.filePath()));
    if (!reason.isEmpty())
        throw Failure(QStringLiteral("The setting %1 could not be saved in %2: %3.")
                          .arg(quoted(key), quoted(path), reason));
}

void checkWellFormed(const QString &path, const QByteArray &bytes, QSettings::Status status)
{
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    {
        QMutexLocker lock(&shared().mutex);
        QHash<QString, QByteArray> &damaged = shared().damagedContent;
        if (status == QSettings::FormatError) {
            damaged.insert(path, digest);
        } else if (damaged.value(path) != digest) {
            damaged.remove(path);
            return;
        }
    }
    throw Failure(QStringLiteral("The settings file %1 is damaged and cannot be used. It was left "
                                 "as it is so that none of its settings are lost; repair or "
                                 "delete it.")
                      .arg(quoted(path)));
}

// A writer killed between creating the lock file and writing its owner into it leaves an empty
// lock that Qt cannot judge; it would wait half a minute before taking it over. The writer
// holds an flock on the file from the moment it creates it, so an empty lock that nobody holds
// belongs to no one and is removed.
void removeOrphanedLock(const QString &path)
{
    const QByteArray lock = QFile::encodeName(path + QStringLiteral(".lock"));
    struct stat st
    {
    };
    if (::lstat(lock.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0)
        return;
    const int fd = ::open(lock.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        struct stat again
        {
        };
        // Still the same empty file: nobody wrote into it while the lock was being taken.
        if (::fstat(fd, &again) == 0 && again.st_size == 0 && again.st_ino == st.st_ino)
            ::unlink(lock.constData());
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
}

} // namespace

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void checkNames(const QString &app, const QString &section, const QString &key)
{
    checkName(app);
    checkName(section);
    checkName(key);
}

void keepPrivate(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    PrivateFiles::tighten(QFileInfo(folder).absolutePath(), folder, {path});
}

std::unique_ptr<QSettings> openStore(const QString &path, Purpose purpose, const QString &key)
{
    // A file or folder an earlier version left open to others is closed before it is used.
    keepPrivate(path);
    const QByteArray bytes = readStoreBytes(path);
    if (purpose == Purpose::Save) {
        checkWritable(path, key);
        removeOrphanedLock(path);
    }
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    // Qt parses a section only when it is first used; a fault in any section must show now,
    // before a save rewrites the whole file.
    settings->childGroups();
    // An access error at this point cannot come from reading, which succeeded above: it is Qt
    // retrying an earlier save that failed and was reported then. The values are still right.
    checkWellFormed(path, bytes, settings->status());
    return settings;
}

QStringList findKeys(QSettings &settings, const QString &section, const QString &key)
{
    QStringList found;
    const QStringList groups = settings.childGroups();
    for (const QString &group : groups) {
        if (group.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        settings.beginGroup(group);
        const QStringList keys = settings.childKeys();
        settings.endGroup();
        for (const QString &candidate : keys) {
            if (candidate.compare(key, Qt::CaseInsensitive) == 0)
                found.append(group + QLatin1Char('/') + candidate);
        }
    }
    const QString exact = section + QLatin1Char('/') + key;
    if (found.removeOne(exact))
        found.prepend(exact);
    return found;
}

QString storedText(const QVariant &value)
{
    // Qt reads an unquoted comma in a hand-written value as a list separator.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool holdsExactly(QSettings &settings, const QString &section, const QString &key,
                  const QString &value)
{
    const QString target = section + QLatin1Char('/') + key;
    return findKeys(settings, section, key) == QStringList {target}
    && settings.value(target).metaType().id() == QMetaType::QString
        && settings.value(target).toString() == value;
}

} // namespace Settings::StoreFile
