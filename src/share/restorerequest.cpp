#include "share/restorerequest.h"

#include "lookup/curlrunner.h"
#include "lookup/failuretext.h"

#include <QStandardPaths>
#include <QUrl>
#include <utility>

RestoreRequest::RestoreRequest(QObject *parent)
    : QObject(parent), m_client(QStandardPaths::findExecutable(QStringLiteral("curl")))
{
    m_noClient.setSingleShot(true);
    m_noClient.setInterval(0);
    connect(&m_noClient, &QTimer::timeout, this, &RestoreRequest::finish);
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        m_answer.killed = true;
        if (m_process)
            m_process->kill();
    });
}

RestoreRequest::~RestoreRequest()
{
    stop();
}

QByteArray RestoreRequest::configText(const QString &url, const RestoreAddress &address)
{
    const auto line = [](const char *name, const QString &value) {
        return QByteArray(name) + " = " + CurlRunner::configQuoted(value) + '\n';
    };
    QByteArray config = line("url", url);
    config += line("header", QStringLiteral("Accept: application/json"));
    if (address.auth == ShareSettings::Auth::Basic)
        config += line("user", address.login + u':' + address.secret);
    else if (address.auth == ShareSettings::Auth::Token && address.apiKey.isEmpty())
        config
            += line("header", QStringLiteral("Authorization: Bearer ") + address.secret.trimmed());
    return config;
}

std::optional<QString> RestoreRequest::failure(const QString &url, const Answer &answer,
                                               const QString &apiKey)
{
    const QString host = QUrl(url).host();
    QString words;
    if (answer.exitCode < 0 && !answer.killed && !answer.tooLarge)
        words = QStringLiteral("The curl program could not be run.");
    else if (answer.killed)
        // As curl says it when its own bound ends the wait.
        words = QStringLiteral("Could not connect: %1 timed out.").arg(host);
    else if (answer.tooLarge)
        words = QStringLiteral("The answer of %1 is too large to read.").arg(host);
    else if (answer.status == 401 && !apiKey.isEmpty())
        words = withServerWords(QStringLiteral("The server refused the API key."), answer.body);
    else if (answer.exitCode != 0 || answer.status == 401 || answer.status == 403
             || answer.status == 404)
        // The same words as when a log cannot be sent: the server is the same.
        words = HttpTransport::outcome(url, answer.exitCode, answer.status, answer.body)
                    .value_or(ShareFailure {})
                    .words;
    else if (answer.status >= 300 && answer.status < 400)
        words = QStringLiteral("The server pointed to another address (HTTP %1): check the "
                               "address.")
                    .arg(answer.status);
    else if (answer.status < 200 || answer.status >= 300)
        words = withServerWords(
            QStringLiteral("The server could not answer (HTTP %1).").arg(answer.status),
            answer.body);
    else
        return std::nullopt;
    return FailureText::withoutKey(words, apiKey);
}

QString RestoreRequest::withServerWords(const QString &words, const QByteArray &body)
{
    const QString said = FailureText::serviceMessage(body);
    return said.isEmpty() ? words : words + QStringLiteral(" The server said: ") + said;
}

void RestoreRequest::get(const QString &url, const RestoreAddress &address)
{
    stop();
    m_answer = {};
    if (m_client.isEmpty()) {
        // Answered as a run that could not start, after the caller has gone on.
        m_answer.exitCode = -1;
        m_noClient.start();
        return;
    }
    auto *process = new QProcess(this);
    m_process = process;
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        m_answer.body += process->readAllStandardOutput();
        if (m_answer.body.size() > m_limits.maxAnswerBytes && !m_answer.tooLarge) {
            m_answer.tooLarge = true;
            process->kill();
        }
    });
    connect(process, &QProcess::finished, this, &RestoreRequest::onFinished);
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError e) {
        // Only a client that never started ends here; every other error ends in finished().
        if (e != QProcess::FailedToStart || process != m_process)
            return;
        stop();
        m_answer.exitCode = -1;
        finish();
    });
    // -q first: a ~/.curlrc must not change where the request goes. The status and the
    // paging headers go to standard error, apart from the body.
    process->start(m_client,
                   {QStringLiteral("-q"), QStringLiteral("--config"), QStringLiteral("-"),
                    QStringLiteral("--silent"), QStringLiteral("--compressed"),
                    QStringLiteral("--proto"), QStringLiteral("=http,https"),
                    QStringLiteral("--connect-timeout"),
                    QString::number(m_limits.connectTimeoutSeconds), QStringLiteral("--max-time"),
                    QString::number(m_limits.maxTimeSeconds), QStringLiteral("--max-filesize"),
                    QString::number(m_limits.maxAnswerBytes), QStringLiteral("--write-out"),
                    QStringLiteral("%{stderr}%{http_code}\\n%header{x-total-pages}\\n"
                                   "%header{x-dawarich-response}")},
                   QIODevice::ReadWrite);
    if (!m_process)
        return;
    process->write(configText(url, address));
    process->closeWriteChannel();
    m_watchdog.start(m_limits.maxTimeSeconds * 1000 + m_limits.watchdogGraceMs);
}

void RestoreRequest::onFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (!m_process || sender() != m_process)
        return;
    m_answer.body += m_process->readAllStandardOutput();
    const QList<QByteArray> report = m_process->readAllStandardError().split('\n');
    stop();
    m_answer.exitCode = exitStatus == QProcess::NormalExit ? exitCode : -1;
    m_answer.status = report.value(0).trimmed().toInt();
    m_answer.totalPages = report.value(1).trimmed();
    m_answer.dawarich = report.value(2).trimmed();
    // curl's own refusal of a body larger than the bound.
    if (exitCode == 63 || m_answer.body.size() > m_limits.maxAnswerBytes)
        m_answer.tooLarge = true;
    finish();
}

void RestoreRequest::finish()
{
    Q_EMIT answered(m_answer);
}

void RestoreRequest::stop()
{
    m_noClient.stop();
    m_watchdog.stop();
    // Ended and let go: nothing it sends after reaches this request.
    if (QProcess *process = std::exchange(m_process, nullptr)) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
        process->deleteLater();
    }
}
