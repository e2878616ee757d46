#include "lookup/curlrunner.h"

#include "core/errorreport.h"
#include "core/filehelpers.h"
#include "core/progresstext.h"
#include "lookup/answertext.h"
#include "lookup/failuretext.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {
// The client prints the three digits of the status, a line break and the Location the answer
// named, if any: kept as far as the longest text shown of it, and a character more.
constexpr qsizetype StatusOutputLimit = 4 + 4 * FailureText::MaxMessageUnits;
} // namespace

CurlRunner::CurlRunner(QObject *parent) : QObject(parent)
{
    m_pollTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        Q_EMIT progressText(QStringLiteral("Please wait.. ") + QString::number(++m_pollCount));
    });
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        if (m_process)
            m_process->kill();
    });
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &CurlRunner::onPauseOver);
}

CurlRunner::~CurlRunner()
{
    abort();
}

QString CurlRunner::defaultServiceBase()
{
    const QString fromEnvironment = qEnvironmentVariable("TROVANEL_SERVICE_URL");
    return fromEnvironment.isEmpty() ? DefaultServiceBase : fromEnvironment;
}

QString CurlRunner::requestUrl(const QString &base, const QString &key)
{
    // A key pasted from a mail or a web page often brings blanks along, which the client
    // refuses in an address; characters such as & or = would change the query.
    const QString token = key.trimmed();
    if (token.isEmpty())
        return base;
    return base + QStringLiteral("/geo?token=")
        + QString::fromLatin1(QUrl::toPercentEncoding(token));
}

QByteArray CurlRunner::configQuoted(const QString &value)
{
    // Inside a quoted config value the client reads backslash escapes; control characters
    // would end the line, so they are escaped as well.
    QByteArray quoted = "\"";
    for (const char c : value.toUtf8()) {
        switch (c) {
        case '\\':
            quoted += "\\\\";
            break;
        case '"':
            quoted += "\\\"";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\v':
            quoted += "\\v";
            break;
        default:
            quoted += c;
        }
    }
    return quoted + '"';
}

QByteArray CurlRunner::configText(const QString &url)
{
    return "url = " + configQuoted(url) + "\n";
}

QStringList CurlRunner::arguments() const
{
    // -q first: a ~/.curlrc must not change what the program asks for. The body goes to the
    // answer file, the status the service gave and where it redirected to standard output.
    // Never --location: a redirect must not take the key to a server it was not given for.
    return {QStringLiteral("-q"),
            QStringLiteral("--config"),
            QStringLiteral("-"),
            QStringLiteral("--silent"),
            QStringLiteral("--proto"),
            QStringLiteral("=http,https"),
            QStringLiteral("--connect-timeout"),
            QString::number(m_config.connectTimeoutSeconds),
            QStringLiteral("--max-time"),
            QString::number(m_config.maxTimeSeconds),
            QStringLiteral("--max-filesize"),
            QString::number(m_config.maxAnswerBytes),
            QStringLiteral("--write-out"),
            QStringLiteral("%{http_code}\\n%header{location}"),
            QStringLiteral("--output"),
            m_answerPath};
}

qint64 CurlRunner::runningPid() const
{
    return m_process ? m_process->processId() : 0;
}

bool CurlRunner::start()
{
    if (m_active)
        return true;
    m_status = 0;
    m_lastAnswer.clear();
    // Without a working folder or a client there is nothing to run, now or on a later try.
    if (m_answerPath.isEmpty() || m_client.isEmpty())
        return false;
    m_active = true;
    m_runs = 0;
    m_failedRuns = 0;

    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("ReadCurl"));
    // An answer left from before must never pass for this lookup's answer.
    steps.step(100, [this] { DeleteFileQuietly(m_answerPath); });
    steps.step(102, [this] { m_key = m_keySource ? m_keySource() : QString(); });
    steps.step(104, [this] { m_url = requestUrl(m_serviceBase, m_key); });
    runOnce();
    return true;
}

void CurlRunner::runOnce()
{
    ++m_runs;
    m_pollCount = 0;
    auto *process = new QProcess(this);
    m_process = process;
    m_status = 0;
    m_statusOutput.clear();
    m_lastAnswer.clear();
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::readyReadStandardOutput, this, &CurlRunner::takeStatusOutput);
    connect(process, &QProcess::finished, this, &CurlRunner::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, &CurlRunner::onProcessError);

    process->start(m_client, arguments(), QIODevice::ReadWrite);
    if (!m_process)
        return; // it failed to start and was already dealt with
    process->write(configText(m_url));
    process->closeWriteChannel();

    Q_EMIT progressText(QStringLiteral("Please wait.. ") + QString::number(++m_pollCount));
    m_pollTimer.start(m_config.pollMs);
    m_watchdog.start(m_config.maxTimeSeconds * 1000 + m_config.watchdogGraceMs);
    Q_EMIT runStarted(m_runs, process->processId());
}

void CurlRunner::onProcessError(QProcess::ProcessError error)
{
    // Only a client that never started ends here; every other error also ends in finished().
    if (error != QProcess::FailedToStart || !m_process || sender() != m_process)
        return;
    const bool shownAsRunning = m_pollCount > 0;
    dropProcess();
    afterRun(false, shownAsRunning);
}

void CurlRunner::takeStatusOutput()
{
    if (!m_process)
        return;
    // Read in full so that nothing piles up in the process's buffer, kept only up to the limit.
    const QByteArray output = m_process->readAllStandardOutput();
    m_statusOutput += output.left(StatusOutputLimit - m_statusOutput.size());
}

void CurlRunner::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_process || sender() != m_process)
        return;
    takeStatusOutput();
    const qsizetype lineEnd = m_statusOutput.indexOf('\n');
    const QByteArray digits
        = (lineEnd < 0 ? m_statusOutput : m_statusOutput.first(lineEnd)).trimmed();
    m_location = lineEnd < 0 ? QString() : QString::fromUtf8(m_statusOutput.mid(lineEnd + 1));
    bool isNumber = false;
    const int code = digits.toInt(&isNumber);
    m_status = isNumber && digits.size() == 3 ? code : 0;
    dropProcess();
    afterRun(status == QProcess::NormalExit && exitCode == 0, true);
}

void CurlRunner::dropProcess()
{
    m_pollTimer.stop();
    m_watchdog.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
}

void CurlRunner::afterRun(bool transferOk, bool started)
{
    if (started)
        Q_EMIT progressText(ProgressIdleText());

    // A failed transfer (time-out, cut connection, refused size) may leave half an answer,
    // and half an answer is no answer.
    const QFileInfo info(m_answerPath);
    if (!transferOk || (info.exists() && info.size() > m_config.maxAnswerBytes))
        DeleteFileQuietly(m_answerPath);

    // An error or a redirect is the service's answer, not a lost one: asking again at once would
    // only use up more of a rate limit or repeat a refused key.
    if (transferOk && m_status >= 300) {
        finish(QString(), readFailure(m_status));
        return;
    }
    if (FileExists(m_answerPath)) {
        finish(readAnswer());
        return;
    }
    ++m_failedRuns;
    m_pause.start(m_config.pauseMs);
}

void CurlRunner::onPauseOver()
{
    if (!m_active)
        return;
    if (m_failedRuns < m_config.maxRuns)
        runOnce();
    else
        finish(CouldNotConnect, FailureText::couldNotConnect());
}

QString CurlRunner::readAnswer()
{
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("ReadCurl"));
    QString text;
    steps.step(116, [&] { text = ReadWholeFile(m_answerPath); });
    m_lastAnswer = FailureText::withoutKey(text.toUtf8().left(m_config.maxAnswerBytes), m_key);
    steps.step(118, [&] { text = AnswerText::Normalise(text); });
    steps.step(120, [&] { DeleteFileQuietly(m_answerPath); });
    return text;
}

QString CurlRunner::readFailure(int status)
{
    // The body as the service sent it: its message is read as JSON, which the flattening for
    // the location values would spoil. A body that cannot be read leaves the status alone.
    QByteArray body;
    QFile file(m_answerPath);
    if (file.open(QIODevice::ReadOnly))
        body = file.read(m_config.maxAnswerBytes);
    file.close();
    m_lastAnswer = FailureText::withoutKey(body, m_key);
    DeleteFileQuietly(m_answerPath);
    return FailureText::httpError(status, body, m_location, m_key);
}

void CurlRunner::finish(const QString &answer, const QString &failure)
{
    m_active = false;
    Q_EMIT finished(answer, failure);
}

void CurlRunner::abort()
{
    if (!m_active)
        return;
    m_active = false;
    m_pause.stop();
    m_pollTimer.stop();
    m_watchdog.stop();
    if (m_process) {
        QProcess *process = m_process;
        process->disconnect(this);
        m_process = nullptr;
        process->kill();
        process->waitForFinished(1000);
        delete process;
        Q_EMIT progressText(ProgressIdleText());
    }
    DeleteFileQuietly(m_answerPath);
}
