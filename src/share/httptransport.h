#pragma once

#include "share/sharesettings.h"
#include "share/sharetransport.h"

#include <QList>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <optional>

// Posts each message as JSON to the user's HTTP endpoint through the system's curl, one at a
// time and in the order given. Everything that could be secret (the address, the password or
// token, the body) goes to curl on its standard input, never on its command line. A run is
// bounded in time and in how much of the server's answer is read.
class HttpTransport : public ShareTransport
{
    Q_OBJECT

public:
    // The bounds of one post. The defaults are the program's; tests and benchmarks may shorten
    // them.
    struct Limits
    {
        int connectTimeoutSeconds = 15;
        int maxTimeSeconds = 30; // curl's own bound on one post
        int watchdogGraceMs = 5000; // beyond curl's bound, it is killed
        qsizetype maxAnswerBytes = 4096; // enough for any server's short message
    };

    HttpTransport(const ShareSettings &settings, QObject *parent = nullptr);
    ~HttpTransport() override;

    void setLimits(const Limits &limits) { m_limits = limits; }
    // The curl found on the PATH unless set; empty when there is none.
    void setClient(const QString &program) { m_client = program; }

    int window() const override { return 1; }
    void send(const OutgoingMessage &message) override;
    void stop() override;

    // What curl reads on its standard input for one post of body.
    static QByteArray configText(const ShareSettings &settings, const QByteArray &body);
    // How a post ended: nothing when the server took it. exitCode is curl's, status the HTTP
    // status it saw (0 for none), answer the start of the server's body.
    static std::optional<ShareFailure> outcome(const QString &url, int exitCode, int status,
                                               const QByteArray &answer);

private:
    void startNext();
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onError(QProcess::ProcessError error);
    void finish(const std::optional<ShareFailure> &failure);
    void readRequests(const QByteArray &answer);
    void dropProcess();

    ShareSettings m_settings;
    Limits m_limits;
    QString m_client;
    QList<OutgoingMessage> m_waiting; // handed over while one was on its way
    std::optional<OutgoingMessage> m_current;
    QPointer<QProcess> m_process;
    QByteArray m_answer;
    QByteArray m_status; // curl's report of the HTTP status, on its standard error
    QTimer m_watchdog;
};
