#pragma once

#include "share/commandrequests.h"
#include "share/sharequeue.h"
#include "share/sharesettings.h"
#include "share/sharetransport.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// Sends the waiting messages to the user's location server, oldest log first, and takes each
// out of its queue only once the server has it. A server that is down or a network that is gone
// is tried again after 10 s, then twice as long each time up to 10 min, and at once when the
// network comes back; a server that refuses us stops the sending until the user sends a test or
// changes the settings, and says why once. A message the server would not take is set aside
// with its words and the rest go on; when it takes none of three in a row, the sending stops as
// for a refusal. Nothing is ever dropped here, and nothing waits for the server: the lookups,
// the window and the tick go on.
class Sharer : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstRetryMs = 10'000;
    static constexpr int LastRetryMs = 600'000;

    using TransportMaker = std::function<std::unique_ptr<ShareTransport>(const ShareSettings &)>;
    explicit Sharer(TransportMaker makeTransport, QObject *parent = nullptr);
    ~Sharer() override;

    // Tests wait less between tries.
    void setRetryBounds(int firstMs, int lastMs)
    {
        m_firstRetryMs = m_retryMs = firstMs;
        m_lastRetryMs = lastMs;
    }

    // Where messages wait, known before any goes: a message made again (a later fix, the user's
    // correction) is found, and counted, whether or not sending has started. Each is asked for
    // its oldest, and the oldest of all goes first.
    void setQueues(const QList<ShareQueue *> &queues);
    // Sending starts, or starts afresh once messages moved between queues: what was on its way
    // goes again from where it waits now.
    void start();
    // Settings that differ from the last start the sending afresh, a refused one included.
    void setSettings(const ShareSettings &settings);
    const ShareSettings &settings() const { return m_settings; }
    bool isOn() const { return m_settings.mode != ShareSettings::Mode::Off; }

    // A message was queued.
    void queued();
    // The messages of `log` and the logs after it wait: the newest log's fix may still get
    // better.
    void hold(LogId log);
    void release();
    // The log's waiting message made again; false when it waits nowhere.
    bool replace(LogId log, const QByteArray &now);
    // The network came back: a wait for the next try ends now.
    void networkCameBack();
    // One message through a transport of these settings, outside the queue: testOutcome says
    // how it went. A refused queue starts again.
    void sendTest(const ShareSettings &settings, const QByteArray &message);

    qint64 waiting() const;
    bool isRefused() const { return m_refused; }
    // The messages the server would not take, oldest log first, each with its words.
    QList<ShareQueue::SetAside> setAside() const;
    // The set-aside message goes again, in its log's place; false when none such is kept.
    bool sendAgain(qint64 id);
    bool discard(qint64 id);
    // Until the next try, after a failure; 0 when none is waited for.
    int retryInMs() const;
    // The server's requests, while the settings let it ask.
    CommandRequests *requests() { return &m_requests; }

Q_SIGNALS:
    // Also when the messages set aside changed.
    void waitingChanged(qint64 count);
    // The server refused a message: sending stops until the user acts.
    void refused(const QString &words);
    void testOutcome(bool delivered, const QString &words);

private:
    void pump();
    void onDelivered(qint64 id);
    void onFailed(qint64 id, const ShareFailure &failure);
    // The transport is gone: tried again later, or not until the user acts.
    void stopFor(const ShareFailure &failure);
    void dropTransport();
    // The message as it goes: sealed when a key is set.
    QByteArray outgoing(const ShareSettings &settings, const QByteArray &body) const;
    // Why messages cannot go sealed as the settings ask; empty when they can or need not.
    static QString cannotSeal(const ShareSettings &settings);

    TransportMaker m_makeTransport;
    ShareSettings m_settings;
    QList<ShareQueue *> m_queues;
    std::unique_ptr<ShareTransport> m_transport;
    std::unique_ptr<ShareTransport> m_testTransport;
    struct InFlight
    {
        ShareQueue *queue = nullptr;
        LogId log;
        // Made again since it went: what the server has is not what waits.
        bool changed = false;
    };
    QHash<qint64, InFlight> m_inFlight;
    QTimer m_retry;
    int m_firstRetryMs = FirstRetryMs;
    int m_lastRetryMs = LastRetryMs;
    int m_retryMs = FirstRetryMs;
    bool m_refused = false;
    // Set aside one after the other, nothing taken between.
    int m_setAsideInRow = 0;
    bool m_pumping = false;
    bool m_started = false;
    std::optional<LogId> m_heldFrom;
    CommandRequests m_requests;
};
