#include "core/privatefiles.h"

#include "core/errorreport.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSaveFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFiles {
namespace {

// Whether `path` is told for the first time this run: a settings file that stays open to others
// would otherwise raise a box at every change of a setting.
bool firstTelling(const QString &path)
{
    static QMutex mutex;
    static QSet<QString> told;
    QMutexLocker lock(&mutex);
    if (told.contains(path))
        return false;
    told.insert(path);
    return true;
}

// Why the mode of a file could not be changed, in the user's words.
QString reason(int error, const struct stat &st)
{
    if (error == EROFS)
        return QStringLiteral("it is on a read-only disk");
    if (error == EPERM && st.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folders from the first one below `base` down to `folder`, outermost first; none when
// `folder` is not below `base`.
QStringList ownFolders(const QString &base, const QString &folder)
{
    QString top = QDir::cleanPath(base);
    if (!top.endsWith(QLatin1Char('/')))
        top += QLatin1Char('/');
    QStringList folders;
    for (QString at = QDir::cleanPath(folder); at.startsWith(top) && at.size() > top.size();
         at = QFileInfo(at).path())
        folders.prepend(at);
    return folders;
}

} // namespace

bool makeFolders(const QString &base, const QString &folder)
{
    if (!QDir().mkpath(base))
        return false;
    for (const QString &at : ownFolders(base, folder)) {
        if (::mkdir(QFile::encodeName(at).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return QFileInfo(folder).isDir();
}

void tighten(const QString &base, const QString &folder, const QStringList &files)
{
    QStringList untold;
    const auto close = [&](const QString &path, bool isFolder) {
        const QByteArray native = QFile::encodeName(path);
        struct stat st
        {
        };
        // Only what is there and is what it should be: a file where a folder belongs is for the
        // caller to refuse, not to change.
        if (::stat(native.constData(), &st) != 0
            || (isFolder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) || (st.st_mode & 0077) == 0)
            return;
        if (::chmod(native.constData(), st.st_mode & 0700) == 0)
            return;
        const QString why = reason(errno, st);
        if (firstTelling(path))
            untold << QStringLiteral("Trovanel could not make \"%1\" private to you (%2): other "
                                     "users of this computer may be able to read it.")
                          .arg(QDir::toNativeSeparators(path), why);
    };
    for (const QString &at : ownFolders(base, folder))
        close(at, true);
    for (const QString &file : files)
        close(file, false);
    if (!untold.isEmpty())
        ErrorReport::report({QStringLiteral("PrivateFiles"), QStringLiteral("Tighten"), 100,
                             untold.join(QLatin1Char('\n'))});
}

QFileDevice::Permissions keepPrivateWhileWritten(QSaveFile &file)
{
    // Not open, it has no file being written yet: Qt's modes stand.
    if (!file.isOpen())
        return {};
    // Qt gave the file being written the mode it is to have in place.
    const QFileDevice::Permissions inPlace = file.permissions();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return inPlace;
}

bool putInPlace(QSaveFile &file, QFileDevice::Permissions permissions)
{
    // A file left private to the user is no reason to lose the save.
    if (permissions)
        file.setPermissions(permissions);
    return file.commit();
}

} // namespace PrivateFiles
