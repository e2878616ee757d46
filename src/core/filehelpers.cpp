#include "core/filehelpers.h"

#include "core/failure.h"

#include <QFile>
#include <QFileInfo>

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read the file %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("Cannot read the file %1: %2").arg(path, file.errorString()));
    return QString::fromUtf8(bytes);
}

void DeleteFileQuietly(const QString &path)
{
    if (path.isEmpty())
        return;
    if (!QFile::remove(path)) {
        // A read-only file is removed too, as long as its folder lets us.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(path);
    }
}
