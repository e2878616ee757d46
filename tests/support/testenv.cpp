#include "support/testenv.h"

#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

TestEnv::TestEnv()
    : m_oldConfig(qgetenv("XDG_CONFIG_HOME")),
      m_oldRuntime(qgetenv("XDG_RUNTIME_DIR")),
      m_oldHome(qgetenv("HOME"))
{
    QDir(root()).mkpath(QStringLiteral("config"));
    QDir(root()).mkpath(QStringLiteral("runtime"));
    QDir(root()).mkpath(QStringLiteral("home"));
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtimeDir().toLocal8Bit());
    qputenv("HOME", (root() + QStringLiteral("/home")).toLocal8Bit());
    Settings::setStoreFolder(configHome());
    ErrorReport::setSink([this](const ErrorReport::Report &r) { m_reports.append(r); });
}

TestEnv::~TestEnv()
{
    ErrorReport::setSink({});
    Settings::setStoreFolder(QString());
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
    qputenv("HOME", m_oldHome);
}

QString TestEnv::configHome() const
{
    return root() + QStringLiteral("/config");
}

QString TestEnv::runtimeDir() const
{
    return root() + QStringLiteral("/runtime");
}

QString TestEnv::storeFile() const
{
    return configHome() + QStringLiteral("/Brenvatic/Trovanel.conf");
}

QList<ErrorReport::Report> TestEnv::takeReports()
{
    QList<ErrorReport::Report> taken;
    taken.swap(m_reports);
    return taken;
}

QStringList TestEnv::takeReportPlaces()
{
    QStringList places;
    for (const ErrorReport::Report &r : takeReports())
        places << r.module + QLatin1Char('/') + r.procedure + QLatin1Char(':')
                + QString::number(r.line);
    return places;
}

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

int FileMode(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

int NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return int(0666 & ~mask);
}
