#include "results/spreadsheethandlercheck.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace {

const QString SheetMimeType
    = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");

// A query that takes longer is stuck; the PATH still has a say.
constexpr int QueryDeadlineMs = 3000;

// A spreadsheet application that is not the desktop's default still opens the file through
// the desktop's opener. Looking it up is a walk along the PATH, quick enough to do here.
bool SpreadsheetOnPath()
{
    for (const char *program : {"localc", "libreoffice", "soffice", "gnumeric"}) {
        if (!QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return true;
    }
    return false;
}

} // namespace

SpreadsheetHandlerCheck::SpreadsheetHandlerCheck(QObject *parent)
    : QObject(parent), m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    // Killed, the query ends as well, and finished() reports it.
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_query)
            m_query->kill();
    });
}

SpreadsheetHandlerCheck::~SpreadsheetHandlerCheck()
{
    // Nobody is left to hear the answer.
    if (m_query) {
        m_query->disconnect(this);
        m_query->kill();
    }
}

void SpreadsheetHandlerCheck::check()
{
    if (m_checking || m_answer == Answer::Yes)
        return;
    m_checking = true;

    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) {
        // Answered from the event loop all the same, so that every caller hears it the same way.
        QTimer::singleShot(0, this, [this] { finish(false); });
        return;
    }
    m_query = new QProcess(this);
    m_query->setStandardErrorFile(QProcess::nullDevice());
    connect(m_query, &QProcess::finished, this,
            [this] { finish(!m_query->readAllStandardOutput().trimmed().isEmpty()); });
    connect(m_query, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A query that ran reports through finished(); one that never started only here.
        if (error == QProcess::FailedToStart)
            finish(false);
    });
    m_deadline->start(QueryDeadlineMs);
    m_query->start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), SheetMimeType});
}

void SpreadsheetHandlerCheck::finish(bool defaultHandler)
{
    m_deadline->stop();
    if (m_query) {
        m_query->disconnect(this);
        m_query->deleteLater();
        m_query = nullptr;
    }
    const bool installed = defaultHandler || SpreadsheetOnPath();
    m_answer = installed ? Answer::Yes : Answer::None;
    m_checking = false;
    Q_EMIT answered(installed);
}
