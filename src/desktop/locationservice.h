#pragma once

#include "core/fix.h"

#include <QDBusObjectPath>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

class QDBusError;
class QDBusPendingCall;

// The desktop's location service (GeoClue2 on the system bus), asked for one fix at a time.
//
// It is spoken to over D-Bus directly rather than through Qt Positioning: the program needs the
// service's own refusal (to tell the user what to install or allow), a deadline of its own, and
// no further Qt module for one question a log. Every call is asynchronous, so the window never
// waits for the bus.
class LocationService : public QObject
{
    Q_OBJECT

public:
    // Street level (GeoClue's 6): the Wi-Fi networks and cell towers around the laptop, which
    // place it to tens of metres, without waking a satellite receiver for a finer place a row
    // does not need; it is also what the user's agent is asked to allow.
    static constexpr uint StreetLevel = 6;
    // The desktop id the service and the user's agent know the program by: its launcher's name.
    static constexpr char DesktopId[] = "trovanel";

    enum class Problem {
        NoService, // nothing answers for the service on the system bus
        Refused, // the service, its configuration or the user's agent said no
        NoAgent, // the service waited for the desktop's agent past the deadline
    };
    Q_ENUM(Problem)

    explicit LocationService(QObject *parent = nullptr);
    ~LocationService() override;

    // How an ask ended: with a Wi-Fi fix, or without one; problem says why, when it is something
    // the user can mend.
    struct Answer
    {
        std::optional<Fix> fix;
        std::optional<Problem> problem;
    };
    using Answered = std::function<void(const Answer &answer)>;
    // Asks for one fix; answered is called once, as the ask ends. An ask still in flight ends
    // first, without a fix. Without a fix by the deadline the service is told to stop.
    void ask(Answered answered);
    // Gives up an ask in flight: the service stops, and the ask ends without a fix.
    void cancel() { finish({}); }
    void setDeadline(int milliseconds) { m_deadline.setInterval(milliseconds); }
    bool isAsking() const { return m_found != nullptr; }

    // Whether the service's location can stand as a fix for an ask made at askedMs: a place on
    // the globe, an accuracy that is a positive distance, and, when the service tells its time
    // (takenMs, Unix milliseconds like askedMs), taken no earlier than the second of the ask: one
    // kept from before tells where the laptop was, not where it is.
    static bool usable(const Fix &fix, std::optional<qint64> takenMs, qint64 askedMs);

    // The words for the user about a problem: what to install or where to allow it.
    static QString advice(Problem problem);

private Q_SLOTS:
    void locationUpdated(const QDBusObjectPath &old, const QDBusObjectPath &now);

private:
    void clientMade(quint64 ask, const QDBusObjectPath &client);
    void failed(quint64 ask, const QDBusError &error);
    void located(quint64 ask, const QVariantMap &location);
    void giveUp();
    // Ends the ask: the service stops and forgets the client, and the asker hears how it ended.
    void finish(const Answer &answer);
    void stopClient(const QString &client);
    // Calls method on the bus and hands the reply to done, or its error to failed, unless a
    // later ask has come since.
    void call(const QString &path, const QString &interface, const QString &method,
              const QVariantList &arguments,
              std::function<void(const QDBusPendingCall &reply)> done = {});

    Answered m_found;
    quint64 m_ask = 0;
    qint64 m_askedMs = 0; // when the ask in flight was made, in Unix milliseconds
    QString m_client;
    QTimer m_deadline;
};
