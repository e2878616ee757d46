#pragma once

#include "core/dialogs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// What each benchmark here needs: the median of its rounds, its counts from the command line and
// the tool it is measured against.
namespace Bench {

// The middle of the rounds' times, so that a round slowed by the rest of the machine does not
// move it.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The count given as argument `at` (at least one), or `fallback` when there is none.
inline int Count(int argc, char **argv, int at, int fallback)
{
    return argc > at ? std::max(1, std::atoi(argv[at])) : fallback;
}

// The baseline's program from the PATH; without it the benchmark cannot run, and says which
// package brings it.
inline QString Tool(const char *name, const char *package)
{
    const QString path = QStandardPaths::findExecutable(QString::fromUtf8(name));
    if (path.isEmpty()) {
        std::fprintf(stderr, "`%s` is not on the PATH (package %s)\n", name, package);
        std::exit(1);
    }
    return path;
}

// Runs the baseline tool to make `out` afresh from the arguments (which name out); its time,
// or the benchmark ends when it fails.
inline double RunTool(const QString &program, const QStringList &arguments, const QString &out)
{
    QFile::remove(out);
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     qPrintable(process.errorString()));
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e6;
}

// Answers every question the kept results put as told, and shows nothing: nobody watches.
class NoDialogs : public Dialogs
{
public:
    explicit NoDialogs(bool yes = false) : m_yes(yes) { }
    std::optional<QString> askText(const QString &, const QString &, const QString &) override
    {
        return {};
    }
    bool askYesNo(const QString &) override { return m_yes; }
    void inform(const QString &) override { }
    QString askSaveFile(const QString &, const QStringList &, QString *) override { return {}; }
    void openUrl(const QString &) override { }

private:
    bool m_yes;
};

} // namespace Bench
