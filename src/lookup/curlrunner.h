#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

// Limits of one lookup. The defaults are the program's; tests shorten the waits.
struct CurlRunnerConfig
{
    int maxRuns = 6; // runs before the lookup gives up
    int pauseMs = 1000; // pause after each run that left no answer
    int pollMs = 100; // how often the "Please wait.. n" text advances
    int connectTimeoutSeconds = 20;
    int maxTimeSeconds = 20; // the client's own bound on one run
    int watchdogGraceMs = 5000; // beyond the client's bound, the run is killed
    qint64 maxAnswerBytes = 1024 * 1024;
};

// Asks the geolocation service where this computer is, by running the system's curl, and
// hands back the flattened answer text (or "Could not connect"), and why the lookup failed when
// it did. One lookup at a time; the event loop never waits for the client.
class CurlRunner : public QObject
{
    Q_OBJECT

public:
    static inline const QString CouldNotConnect = QStringLiteral("Could not connect");
    static inline const QString DefaultServiceBase = QStringLiteral("https://ipinfo.io");

    explicit CurlRunner(QObject *parent = nullptr);
    ~CurlRunner() override;

    void setConfig(const CurlRunnerConfig &config) { m_config = config; }
    const CurlRunnerConfig &config() const { return m_config; }
    void setClient(const QString &program) { m_client = program; }
    QString client() const { return m_client; }
    void setAnswerPath(const QString &path) { m_answerPath = path; }
    QString answerPath() const { return m_answerPath; }
    void setServiceBase(const QString &base) { m_serviceBase = base; }
    QString serviceBase() const { return m_serviceBase; }
    // Where each lookup gets the service key, asked afresh every time so that a key the user
    // has just entered is used at once. A source that raises a Failure is reported and the
    // lookup goes on with the key it had; without a source the request carries no key.
    void setKeySource(std::function<QString()> source) { m_keySource = std::move(source); }

    // $TROVANEL_SERVICE_URL when set (tests, mirrors), else the public service.
    static QString defaultServiceBase();
    // The base alone when the key is blank, else base + "/geo?token=" + the key without the
    // blanks around it, percent-encoded.
    static QString requestUrl(const QString &base, const QString &key);
    // The client's configuration, read from its standard input, so that the key never shows
    // in the process list.
    static QByteArray configText(const QString &url);
    // A value of such a configuration, quoted as the client reads it back unchanged.
    static QByteArray configQuoted(const QString &value);
    // The client's arguments; they never hold the URL or the key.
    QStringList arguments() const;

    bool isRunning() const { return m_active; }
    // The HTTP status of the last run (0 when the client gave none) and the answer's bytes as
    // the service sent them, the key masked, for the kept history.
    int lastStatus() const { return m_status; }
    QByteArray lastAnswer() const { return m_lastAnswer; }
    // The client process of the run in flight, or 0.
    qint64 runningPid() const;

    // Starts a lookup (does nothing while one runs); finished() follows. Returns false, and
    // starts nothing, when there is no client or no answer file to run it with.
    bool start();
    // Ends a lookup in flight without an answer: no finished() is sent.
    void abort();

Q_SIGNALS:
    // "Please wait.. n" while a run goes on, "Progress Bar" when it ends.
    void progressText(const QString &text);
    void runStarted(int run, qint64 pid);
    // failure is empty when the service gave its answer; otherwise it says, for the user, why
    // there is none. An error or redirect status from the service gives an empty answer.
    void finished(const QString &answer, const QString &failure);

private:
    void runOnce();
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void onProcessError(QProcess::ProcessError error);
    void afterRun(bool transferOk, bool started);
    void onPauseOver();
    void finish(const QString &answer, const QString &failure = {});
    void dropProcess();
    QString readAnswer();
    QString readFailure(int status);
    void takeStatusOutput();

    CurlRunnerConfig m_config;
    QString m_client = QStringLiteral("curl");
    QString m_answerPath;
    QString m_serviceBase = defaultServiceBase();
    std::function<QString()> m_keySource;
    QString m_key; // the key of the last lookup, kept should the source fail to answer
    QString m_url;

    bool m_active = false;
    int m_runs = 0; // runs started in this lookup
    int m_failedRuns = 0; // runs that left no answer
    int m_pollCount = 0;
    int m_status = 0; // the HTTP status of the last run, 0 when the client gave none
    QByteArray m_statusOutput; // what the client printed of it so far
    QString m_location; // where the last run's answer redirected to
    QByteArray m_lastAnswer;
    QPointer<QProcess> m_process;
    QTimer m_pollTimer;
    QTimer m_watchdog;
    QTimer m_pause;
};
