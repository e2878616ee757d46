#include "lookup/curlrunner.h"

#include "app/errorreport.h"
#include "lookup/answertext.h"
#include "lookup/filehelpers.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QFileInfo>

namespace {
const QString ProgressIdle = QStringLiteral("Progress Bar");
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
    if (key.trimmed().isEmpty())
        return base;
    return base + QStringLiteral("/geo?token=") + key;
}

QByteArray CurlRunner::configText(const QString &url)
{
    // Inside a quoted config value the client reads backslash escapes; control characters
    // would end the line, so they are escaped as well.
    QByteArray quoted;
    for (const char c : url.toUtf8()) {
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
    return "url = \"" + quoted + "\"\n";
}

QStringList CurlRunner::arguments() const
{
    // -q first: a ~/.curlrc must not change what the program asks for.
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
            QStringLiteral("--output"),
            m_answerPath};
}

qint64 CurlRunner::runningPid() const
{
    return m_process ? m_process->processId() : 0;
}

void CurlRunner::start()
{
    if (m_active)
        return;
    m_active = true;
    m_runs = 0;
    m_failedRuns = 0;

    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("ReadCurl"));
    // An answer left from before must never pass for this lookup's answer.
    steps.step(100, [this] { DeleteFileQuietly(m_answerPath); });
    steps.step(102, [this] {
        m_key = Settings::get(QString::fromLatin1(SettingKeys::APIKey.name),
                              QString::fromLatin1(SettingKeys::APIKey.defaultText));
    });
    steps.step(104, [this] { m_url = requestUrl(m_serviceBase, m_key); });
    runOnce();
}

void CurlRunner::runOnce()
{
    ++m_runs;
    m_pollCount = 0;
    auto *process = new QProcess(this);
    m_process = process;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, this, &CurlRunner::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, &CurlRunner::onProcessError);

    if (m_answerPath.isEmpty() || m_client.isEmpty()) {
        // Without a working folder or a client there is nothing to run; the run counts as
        // one without an answer.
        dropProcess();
        afterRun(false, false);
        return;
    }
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

void CurlRunner::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_process || sender() != m_process)
        return;
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
        Q_EMIT progressText(ProgressIdle);

    // A failed transfer (time-out, cut connection, refused size) may leave half an answer,
    // and half an answer is no answer.
    const QFileInfo info(m_answerPath);
    if (!transferOk || (info.exists() && info.size() > m_config.maxAnswerBytes))
        DeleteFileQuietly(m_answerPath);

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
        finish(CouldNotConnect);
}

QString CurlRunner::readAnswer()
{
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("ReadCurl"));
    QString text;
    steps.step(116, [&] { text = ReadWholeFile(m_answerPath); });
    steps.step(118, [&] { text = AnswerText::Normalise(text); });
    steps.step(120, [&] { DeleteFileQuietly(m_answerPath); });
    return text;
}

void CurlRunner::finish(const QString &answer)
{
    m_active = false;
    Q_EMIT finished(answer);
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
        Q_EMIT progressText(ProgressIdle);
    }
    DeleteFileQuietly(m_answerPath);
}
