#include "desktop/mstartup.h"

#include "core/failure.h"
#include "core/xdgfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace mStartUp {

QString ProgramPath()
{
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    return appImage.isEmpty() ? QCoreApplication::applicationFilePath() : appImage;
}

QString EntryPath(const QString &programPath)
{
    return Xdg::configHome() + QStringLiteral("/autostart/") + QFileInfo(programPath).fileName()
        + QStringLiteral(".desktop");
}

QString ExecValue(const QString &programPath)
{
    // Inside the quotes of an Exec argument, " ` $ and \ take a backslash; a literal percent
    // sign is written twice. The value as a whole is a desktop-entry string, where each
    // backslash is written twice again.
    QString quoted;
    for (const QChar c : programPath) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += QLatin1Char('\\');
        if (c == u'%')
            quoted += QLatin1Char('%');
        quoted += c;
    }
    QString value = QLatin1Char('"') + quoted + QLatin1Char('"');
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return value;
}

QString EntryText(const QString &programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Trovanel\n"
                          "Comment=Keeps a record of where this computer has been\n"
                          "Exec=%1\n"
                          "Icon=trovanel\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecValue(programPath));
}

void AddToStartup(const QString &programPath)
{
    const QString path = EntryPath(programPath);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw Failure(QStringLiteral("The program cannot be set to start with the session: the "
                                     "folder %1 cannot be created.")
                          .arg(folder));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(EntryText(programPath).toUtf8()) < 0
        || !file.commit())
        throw Failure(QStringLiteral("The program cannot be set to start with the session: %1 "
                                     "cannot be written (%2).")
                          .arg(path, file.errorString()));
}

void RemoveFromStartup(const QString &programPath)
{
    const QString path = EntryPath(programPath);
    QFile file(path);
    if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) {
        if (!file.remove())
            throw Failure(QStringLiteral("The program cannot be kept from starting with the "
                                         "session: %1 cannot be removed (%2).")
                              .arg(path, file.errorString()));
    }
}

} // namespace mStartUp
