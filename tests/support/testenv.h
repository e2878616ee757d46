#pragma once

#include "core/errorreport.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The bytes of a file, or "(unreadable)" when it cannot be read (a missing file included).
QByteArray FileBytes(const QString &path);
// The permission bits of a file or folder (links followed), -1 when there is none; those a new
// file gets under this process's umask.
int FileMode(const QString &path);
int NewFileMode();

// A private world for one test: temporary XDG_CONFIG_HOME, XDG_RUNTIME_DIR and HOME (the
// settings store, which follows XDG_CONFIG_HOME, with them), and error reports recorded instead
// of shown as boxes.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();

    QString root() const { return m_dir.path(); }
    QString configHome() const;
    QString runtimeDir() const;
    QString storeFile() const;

    // Reports made since the last take, oldest first.
    QList<ErrorReport::Report> takeReports();
    // The same, each as "module/procedure:line".
    QStringList takeReportPlaces();
    const QList<ErrorReport::Report> &reports() const { return m_reports; }

private:
    QTemporaryDir m_dir;
    QList<ErrorReport::Report> m_reports;
    QByteArray m_oldConfig, m_oldRuntime, m_oldHome;
};
