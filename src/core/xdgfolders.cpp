#include "core/xdgfolders.h"

#include <QDir>
#include <QFileInfo>

namespace Xdg {
namespace {

QString absoluteOr(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() || QDir::isRelativePath(value) ? fallback : value;
}

QString existingFolder(const char *variable)
{
    const QString value = absoluteOr(variable, QString());
    return !value.isEmpty() && QFileInfo(value).isDir() ? QDir::cleanPath(value) : QString();
}

} // namespace

QString configHome()
{
    return absoluteOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
}

QString cacheHome()
{
    return absoluteOr("XDG_CACHE_HOME", QDir::homePath() + QStringLiteral("/.cache"));
}

QString dataHome()
{
    return absoluteOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
}

QString runtimeDir()
{
    return existingFolder("XDG_RUNTIME_DIR");
}

QString tempDir()
{
    const QString tmp = existingFolder("TMPDIR");
    return tmp.isEmpty() ? QStringLiteral("/tmp") : tmp;
}

} // namespace Xdg
