#include "share/httptransport.h"

#include "lookup/curlrunner.h"
#include "lookup/failuretext.h"
#include "share/ownmessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUrl>

namespace {

// A header's value on one line: a line break in a user or device name would start a header of
// its own.
QString oneLine(const QString &value)
{
    QString line;
    for (const QChar c : value) {
        if (!c.isNull() && c.category() != QChar::Other_Control)
            line += c;
    }
    return line.trimmed();
}

QByteArray configLine(const char *name, const QString &value)
{
    return QByteArray(name) + " = " + CurlRunner::configQuoted(value) + '\n';
}

QString hostOf(const QString &url)
{
    const QString host = QUrl(url).host();
    return host.isEmpty() ? QStringLiteral("the server") : host;
}

// What the server said, after the program's own words, when it said anything readable.
QString withServerWords(const QString &words, const QByteArray &answer)
{
    const QString said = FailureText::serviceMessage(answer);
    return said.isEmpty() ? words : words + QStringLiteral(" The server said: ") + said;
}

// curl's exit codes in the user's words; every one but a malformed or unsupported address is
// a connection that may work later. The words name the host alone: the rest of an address (a
// webhook's id) may be as secret as a password.
ShareFailure curlFailure(const QString &url, int exitCode)
{
    const QString host = hostOf(url);
    const auto retry = [](const QString &words) {
        return ShareFailure {ShareFailure::Kind::Retry, words};
    };
    switch (exitCode) {
    case 1:
    case 3:
        return {ShareFailure::Kind::Refused,
                QStringLiteral("The server address cannot be used: check it.")};
    case 5:
        return retry(QStringLiteral("Could not connect: the proxy's name was not found."));
    case 6:
        return retry(QStringLiteral("Could not connect: the name %1 was not found.").arg(host));
    case 7:
        return retry(QStringLiteral("Could not connect: %1 refused the connection.").arg(host));
    case 28:
        return retry(QStringLiteral("Could not connect: %1 timed out.").arg(host));
    case 35:
    case 51:
    case 53:
    case 54:
    case 58:
    case 59:
    case 60:
    case 77:
    case 80:
    case 82:
    case 83:
    case 90:
    case 91:
        return retry(QStringLiteral("Could not connect securely: the certificate of %1 is not "
                                    "trusted, or its secure connection failed.")
                         .arg(host));
    case 52:
        return retry(QStringLiteral("%1 closed the connection without an answer.").arg(host));
    case 55:
    case 56:
        return retry(QStringLiteral("The connection to %1 broke off.").arg(host));
    default:
        return retry(QStringLiteral("Could not send to %1 (curl ended with code %2).")
                         .arg(host)
                         .arg(exitCode));
    }
}

} // namespace

HttpTransport::HttpTransport(const ShareSettings &settings, QObject *parent)
    : ShareTransport(parent),
      m_settings(settings),
      m_client(QStandardPaths::findExecutable(QStringLiteral("curl")))
{
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        if (m_process)
            m_process->kill();
    });
}

HttpTransport::~HttpTransport()
{
    stop();
}

QByteArray HttpTransport::configText(const ShareSettings &settings, const QByteArray &body)
{
    ShareSettings named = settings;
    named.user = oneLine(settings.user);
    named.device = oneLine(settings.device);
    const QString user = named.userName();
    const QString device = named.deviceName();
    QByteArray config = configLine("url", settings.url.trimmed());
    config += configLine("header", QStringLiteral("Content-Type: application/json"));
    config += configLine("header", QStringLiteral("X-Limit-U: ") + user);
    config += configLine("header", QStringLiteral("X-Limit-D: ") + device);
    if (settings.auth == ShareSettings::Auth::Basic)
        config += configLine("user", user + u':' + settings.secret);
    else if (settings.auth == ShareSettings::Auth::Token)
        config += configLine("header",
                             QStringLiteral("Authorization: Bearer ") + oneLine(settings.secret));
    // Sent as it is; a message is a JSON object, so it never starts with the '@' that would
    // name a file.
    // A sealed message carries its topic inside, put there before it was sealed.
    const QByteArray sent = settings.topicInBody && settings.encryptionKey.isEmpty()
        ? OwnMessage::withTopic(body, named.defaultTopic())
        : body;
    config += configLine("data-binary", QString::fromUtf8(sent));
    return config;
}

std::optional<ShareFailure> HttpTransport::outcome(const QString &url, int exitCode, int status,
                                                   const QByteArray &answer)
{
    // An answer cut short at the program's bound still carries its status.
    if (exitCode != 0 && !(exitCode == 63 && status > 0))
        return curlFailure(url, exitCode);
    if (status >= 200 && status < 300)
        return std::nullopt;
    const QString code = QString::number(status);
    if (status == 408 || status == 429 || status >= 500 || status < 200)
        return ShareFailure {ShareFailure::Kind::Retry,
                             withServerWords(QStringLiteral("The server could not take the "
                                                            "message now (HTTP %1).")
                                                 .arg(code),
                                             answer)};
    // The server read the message and will never take it as it is; the next may well go.
    const QString why = status == 400 ? QStringLiteral("it is not a message the server reads")
        : status == 413               ? QStringLiteral("it is too large for the server")
        : status == 415               ? QStringLiteral("the server does not read JSON there")
        : status == 422               ? QStringLiteral("the server cannot use what it says")
                                      : QString();
    if (!why.isEmpty())
        return ShareFailure {ShareFailure::Kind::Rejected,
                             withServerWords(QStringLiteral("The server would not take this "
                                                            "log: %1 (HTTP %2).")
                                                 .arg(why, code),
                                             answer)};
    QString words;
    if (status == 401)
        words = QStringLiteral("The server refused the user name or password.");
    else if (status == 403)
        words = QStringLiteral("The server refused this user or device (HTTP 403).");
    else if (status == 404)
        words = QStringLiteral("There is no such address on the server (HTTP 404): check the "
                               "address.");
    else if (status < 400)
        // Never followed: a redirect must not take the password to another server.
        words = QStringLiteral("The server sent the message to another address (HTTP %1): "
                               "check the address.")
                    .arg(code);
    else
        words = QStringLiteral("The server refused the message (HTTP %1).").arg(code);
    return ShareFailure {ShareFailure::Kind::Refused, withServerWords(words, answer)};
}

void HttpTransport::send(const OutgoingMessage &message)
{
    m_waiting.append(message);
    if (!m_current)
        startNext();
}

void HttpTransport::stop()
{
    m_waiting.clear();
    m_current.reset();
    dropProcess();
}

void HttpTransport::startNext()
{
    if (m_waiting.isEmpty())
        return;
    m_current = m_waiting.takeFirst();
    if (const std::optional<QString> why = ShareSettings::unusableUrl(m_settings.url)) {
        finish(ShareFailure {ShareFailure::Kind::Refused, *why});
        return;
    }
    if (m_client.isEmpty()) {
        finish(ShareFailure {ShareFailure::Kind::Retry,
                             QStringLiteral("The curl program was not found.")});
        return;
    }
    m_answer.clear();
    m_status.clear();
    auto *process = new QProcess(this);
    m_process = process;
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        // Read in full so that nothing piles up, kept only up to the bound.
        const QByteArray more = process->readAllStandardOutput();
        m_answer += more.left(m_limits.maxAnswerBytes - m_answer.size());
    });
    connect(process, &QProcess::finished, this, &HttpTransport::onFinished);
    connect(process, &QProcess::errorOccurred, this, &HttpTransport::onError);
    // -q first: a ~/.curlrc must not change where the message goes. Never --location: a
    // redirect must not take the password to a server it was not meant for. The status goes to
    // standard error, apart from the server's body.
    process->start(m_client,
                   {QStringLiteral("-q"), QStringLiteral("--config"), QStringLiteral("-"),
                    QStringLiteral("--silent"), QStringLiteral("--proto"),
                    QStringLiteral("=http,https"), QStringLiteral("--connect-timeout"),
                    QString::number(m_limits.connectTimeoutSeconds), QStringLiteral("--max-time"),
                    QString::number(m_limits.maxTimeSeconds), QStringLiteral("--max-filesize"),
                    QString::number(m_limits.maxAnswerBytes), QStringLiteral("--write-out"),
                    QStringLiteral("%{stderr}%{http_code}")},
                   QIODevice::ReadWrite);
    if (!m_process)
        return; // it failed to start and was answered already
    process->write(configText(m_settings, m_current->body));
    process->closeWriteChannel();
    m_watchdog.start(m_limits.maxTimeSeconds * 1000 + m_limits.watchdogGraceMs);
}

void HttpTransport::onFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (!m_process || sender() != m_process)
        return;
    m_answer += m_process->readAllStandardOutput().left(m_limits.maxAnswerBytes - m_answer.size());
    const QByteArray digits = m_process->readAllStandardError().trimmed().right(3);
    bool isNumber = false;
    const int status = digits.toInt(&isNumber);
    dropProcess();
    if (exitStatus != QProcess::NormalExit)
        finish(ShareFailure {ShareFailure::Kind::Retry,
                             QStringLiteral("Could not send to %1: no answer in time.")
                                 .arg(hostOf(m_settings.url))});
    else
        finish(outcome(m_settings.url, exitCode, isNumber ? status : 0, m_answer));
}

void HttpTransport::readRequests(const QByteArray &answer)
{
    // The server answers a post with what it has for the laptop: requests among other things
    // (its other devices' places), those sealed with the key seen only once opened.
    const QJsonArray objects = QJsonDocument::fromJson(answer).array();
    for (const QJsonValue &value : objects) {
        const QString type = value.toObject().value(QStringLiteral("_type")).toString();
        if (type == QLatin1String("cmd") || type == QLatin1String("encrypted"))
            Q_EMIT requestReceived(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact),
                                   QString(), -1);
    }
}

void HttpTransport::onError(QProcess::ProcessError error)
{
    // Only a client that never started ends here; every other error also ends in finished().
    if (error != QProcess::FailedToStart || !m_process || sender() != m_process)
        return;
    dropProcess();
    finish(ShareFailure {ShareFailure::Kind::Retry,
                         QStringLiteral("The curl program could not be started.")});
}

void HttpTransport::finish(const std::optional<ShareFailure> &failure)
{
    const qint64 id = m_current ? m_current->id : 0;
    m_current.reset();
    // The receiver may stop or delete this transport inside the signal: nothing of it is
    // touched after; the next message starts once the event loop runs again.
    QPointer<HttpTransport> alive(this);
    if (!failure && m_settings.commands)
        readRequests(m_answer);
    if (!alive)
        return;
    if (failure)
        Q_EMIT failed(id, *failure);
    else
        Q_EMIT delivered(id);
    if (alive && !m_waiting.isEmpty())
        QTimer::singleShot(0, this, [this] {
            if (!m_current)
                startNext();
        });
}

void HttpTransport::dropProcess()
{
    m_watchdog.stop();
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(1000);
    }
    process->deleteLater();
}
