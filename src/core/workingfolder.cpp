#include "core/workingfolder.h"

#include "core/failure.h"
#include "core/xdgfolders.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace WorkingFolder {
namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString location()
{
    const QString runtime = Xdg::runtimeDir();
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/trovanel");
    return Xdg::tempDir() + QStringLiteral("/trovanel-") + QString::number(::getuid());
}

QString prepare()
{
    return preparePrivate(location());
}

QString preparePrivate(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);

    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw Failure(QStringLiteral("Cannot create the working folder %1: %2")
                          .arg(path, systemError(errno)));

    struct stat st
    {
    };
    if (::lstat(native.constData(), &st) != 0)
        throw Failure(QStringLiteral("Cannot examine the working folder %1: %2")
                          .arg(path, systemError(errno)));
    if (S_ISLNK(st.st_mode))
        throw Failure(QStringLiteral("The working folder %1 is a symbolic link; it is not used, "
                                     "because another user could have planted it.")
                          .arg(path));
    if (!S_ISDIR(st.st_mode))
        throw Failure(QStringLiteral("The working folder %1 is not a folder.").arg(path));
    if (st.st_uid != ::getuid())
        throw Failure(
            QStringLiteral("The working folder %1 belongs to another user; it is not used.")
                .arg(path));
    if ((st.st_mode & 0077) != 0 && ::chmod(native.constData(), 0700) != 0)
        throw Failure(QStringLiteral("The working folder %1 is open to other users and cannot be "
                                     "closed: %2")
                          .arg(path, systemError(errno)));
    return path;
}

void removeIfEmpty(const QString &path)
{
    if (!path.isEmpty())
        ::rmdir(QFile::encodeName(path).constData());
}

} // namespace WorkingFolder
