#pragma once

#include "core/clock.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// What the user's location server asks of this laptop, and what becomes of each request. Only a
// request for the position is answered, and no more than once a minute: the requests inside
// that minute are answered once, at its end, so that a server (or whoever can write to it)
// cannot keep the lookup service busy. With an encryption key, a request is answered only when
// it opens with the key; one in clear or sealed with another key is refused and counted.
class CommandRequests : public QObject
{
    Q_OBJECT

public:
    static constexpr int MinuteMs = 60'000;

    explicit CommandRequests(QObject *parent = nullptr);

    // Tests make the minute shorter, and the time of day and the clock requests expire by their
    // own.
    void setMinuteMs(int milliseconds) { m_minuteMs = milliseconds; }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setSteadyClock(SteadyClock clock) { m_steady = std::move(clock); }
    // The passphrase requests must be sealed with; none: they come in clear.
    void setKey(const QString &passphrase) { m_key = passphrase; }
    // Whether the user still has the server's requests answered; one that waits for the end of
    // its minute is answered only if so when the minute is over.
    void setAnswering(bool answering) { m_answering = answering; }

    // A JSON object from the server. stale: why it is not answered though it may be a request
    // (it was kept by the broker for whoever comes, or it expired); empty when it is fresh.
    // lifetime: the seconds it may still be answered in, -1 when it does not expire; one that
    // waits for the end of its minute and expires meanwhile is not answered. Objects that are
    // no request are left alone.
    void received(const QByteArray &object, const QString &stale = {}, int lifetime = -1);

    // The last request and what became of it, in the user's words; empty before the first.
    QString lastRequest() const { return m_last; }
    int refusedCount() const { return m_refused; }

Q_SIGNALS:
    // The server asks where the laptop is: a log is due now.
    void positionAsked();
    void lastRequestChanged(const QString &words);

private:
    void tell(const QString &words);
    void answer();
    // The minute is over: the requests that waited for it are answered unless all expired.
    void minuteOver();

    Clock m_clock = SystemNow;
    // Counts the time the machine sleeps, as the server's clock does.
    SteadyClock m_steady = SteadyClocks::SystemBoot;
    int m_minuteMs = MinuteMs;
    QString m_key;
    bool m_answering = true;
    QString m_last;
    int m_refused = 0;
    // Since the last answer; the requests of its minute wait for the timer.
    QElapsedTimer m_answered;
    QTimer m_due;
    QString m_dueAt; // the time of day of the first request that waits
    // Until when, on m_steady, the longest-lived request that waits may still be answered.
    qint64 m_dueUntil = 0;
};
