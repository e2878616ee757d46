#pragma once

#include "core/clock.h"
#include "core/fix.h"
#include "core/logid.h"
#include "core/logtable.h"
#include "lookup/curlrunner.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QObject>
#include <functional>
#include <optional>

class LogTable;
struct LogRecord;

// One location log: note the time, look the location up, append the row.
class CurlFunctions : public QObject
{
    Q_OBJECT

public:
    explicit CurlFunctions(LogTable *results, QObject *parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Asks a second source (the desktop's location service) for a fix as each log starts. The
    // source calls found once, as the ask ends: with the fix, or with none when none will come.
    // A fix that comes before the row is added goes in with it, one that comes within the
    // deadline after joins the row, and a later one is left out.
    using FixFound = std::function<void(const std::optional<Fix> &fix)>;
    using FixAsk = std::function<void(FixFound found)>;
    void setWiFiSource(FixAsk ask) { m_askWiFi = std::move(ask); }
    void setWiFiDeadline(int milliseconds) { m_wifiDeadlineMs = milliseconds; }
    bool asksWiFi() const { return bool(m_askWiFi); }
    // Told, just before a good row goes in, that the location service's fix may still join it
    // within so many milliseconds; and told once that wait is over, with the fix that joined
    // or without one (none came, none will, or the next log started).
    struct WiFiWait
    {
        std::function<void(LogId log, int milliseconds)> begins;
        std::function<void(LogId log, const std::optional<Fix> &joined)> ends;
    };
    void setWiFiWait(WiFiWait wait) { m_wait = std::move(wait); }
    CurlRunner &runner() { return m_runner; }

    // Prepares the private working folder and finds the client on PATH. Raises a Failure that
    // says what is missing; a lookup without either ends as "Could not connect".
    void ExtractWorkingFiles();
    // Removes the answer file, and the working folder when nothing else is left in it.
    void DeleteWorkingFiles();

    // The client's full path in double quotes, and the answer file's path.
    QString CurlPath() const { return m_curlPath; }
    QString MessagePath() const { return m_messagePath; }

    // Starts one log, asked for by the user or not; returns false (and does nothing) while a log
    // is in flight. A log whose lookup cannot start (no client, no working folder) ends with a
    // failed row that says why.
    bool GetLog(bool askedByUser = false);
    // The next log the user asks for is the location server's request: its row says so.
    void serverAsksNext() { m_serverAsks = true; }
    bool isBusy() const { return m_runner.isRunning() || m_startFailed; }
    // Ends a log in flight; no row is added.
    void abort()
    {
        m_runner.abort();
        m_startFailed = false;
    }

    // Appends a row with the time text and the six values picked out of the answer, filled into
    // record (its instant, failure, status and answer already set) and appended whole.
    int ParseCurl(const QString &timeText, const QString &answer, LogRecord &record);
    static QString GetJSValue(const QString &source, const QString &key);

    // The short date with the year in full and the time with seconds, in the user's locale.
    static QString TimeText(const QDateTime &time, const QLocale &locale = QLocale::system());

Q_SIGNALS:
    void progressText(const QString &text);
    // A log has appended its row; lookupOutcome came just before.
    void logFinished(int row);
    // How the log went: empty when the service told the location, else why it did not (the
    // row keeps the same text).
    void lookupOutcome(const QString &failure);

private:
    void onAnswer(const QString &answer, const QString &failure);
    void onWiFiFix(LogId log, const std::optional<Fix> &fix);
    void endWait(const std::optional<Fix> &joined);

    LogTable *m_results;
    CurlRunner m_runner;
    Clock m_clock = SystemNow;
    QDateTime m_logTime;
    Asker m_asker = Asker::Schedule;
    bool m_serverAsks = false;
    bool m_startFailed = false; // the lookup could not start; the row saying so is on its way
    QString m_curlPath;
    QString m_messagePath;
    QString m_folder;

    FixAsk m_askWiFi;
    int m_wifiDeadlineMs = Fixes::WiFiDeadlineMs;
    // The last log started, and when the second source was asked for its fix.
    LogId m_log;
    QElapsedTimer m_asked;
    std::optional<Fix> m_earlyFix;
    bool m_fixTaken = false;
    bool m_rowAdded = false;
    WiFiWait m_wait;
    bool m_waiting = false; // the wait for the last log's fix was told begun, and not over
};
