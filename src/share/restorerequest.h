#pragma once

#include "share/httptransport.h"
#include "share/restoreaddress.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <optional>

// One GET of the user's server through the system's curl, the event loop never waiting for
// it. As when the logs are sent, the address (which may hold the API key) and the password go
// to curl on its standard input, never on its command line; a redirect is never followed; the
// run is bounded in time and in how much of the answer is kept.
class RestoreRequest : public QObject
{
    Q_OBJECT

public:
    // The bounds of a post, with a reader's values: an answer takes longer, and holds more.
    using Limits = HttpTransport::Limits;
    static constexpr Limits DefaultLimits {15, 120, 5000, 8 * 1024 * 1024};

    struct Answer
    {
        int exitCode = 0; // curl's
        bool killed = false; // it went past every bound and was ended
        bool tooLarge = false; // the answer was larger than the bound: its body is cut
        int status = 0; // HTTP, 0 for none
        QByteArray body;
        QByteArray totalPages; // dawarich's X-Total-Pages
        QByteArray dawarich; // dawarich's X-Dawarich-Response, by which it answers to its name
    };

    explicit RestoreRequest(QObject *parent = nullptr);
    ~RestoreRequest() override;

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }
    // The curl found on the PATH unless set; empty when there is none.
    void setClient(const QString &program) { m_client = program; }

    // Starts the GET of url (one at a time); answered() follows, unless stop() comes first.
    void get(const QString &url, const RestoreAddress &address);
    void stop();

    // What curl reads on its standard input for the GET of url.
    static QByteArray configText(const QString &url, const RestoreAddress &address);
    // Why an answer holds nothing to read, in the user's words and the server's where it gave
    // any, the API key masked; nothing for a 2xx answer in full.
    static std::optional<QString> failure(const QString &url, const Answer &answer,
                                          const QString &apiKey);

    // words, and then the server's own message in body when it gave one.
    static QString withServerWords(const QString &words, const QByteArray &body);

Q_SIGNALS:
    void answered(const RestoreRequest::Answer &answer);

private:
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void finish();

    Limits m_limits = DefaultLimits;
    QString m_client;
    QPointer<QProcess> m_process;
    Answer m_answer;
    QTimer m_watchdog;
    QTimer m_noClient; // answers a request without a client once the caller has gone on
};
