#pragma once

#include "share/sharetransport.h"

#include <QByteArray>
#include <QMetaObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mosquitto.h>
#include <mutex>

class MqttTransport;

// One connection to the broker and the thread that runs it. The thread and the transport share
// it; whichever lets go last frees the library's client, so neither ever uses a freed one. What
// the thread learns reaches the transport through the transport's event loop.
struct MqttSession
{
    mosquitto *client = nullptr;
    quint64 generation = 0;
    QByteArray host;
    int port = 0;
    QString where; // host:port, for the user's words
    QString clientId;
    mosquitto_property *connectProperties = nullptr;
    std::atomic<bool> stopping {false};
    std::atomic<bool> connected {false};
    // The broker speaks only MQTT 3.1.1: the connection speaks it too, and a PUBACK there cannot
    // say that the broker refused the message.
    std::atomic<bool> v311 {false};
    std::atomic<bool> reconnect {false}; // in 3.1.1, after the broker turned MQTT 5 down

    std::mutex mutex; // guards what follows
    MqttTransport *owner = nullptr; // none once the transport has let go
    bool failed = false; // only the first failure is told
    QString lastError; // the library's last error line (the TLS library's reason among them)

    ~MqttSession();

    // The library is made ready once, and at quit waits for the threads still inside it.
    static void initLibrary();
    // Runs the connection on a thread of its own until it is told to stop or fails.
    static void start(std::shared_ptr<MqttSession> session);

    // Runs fn(transport) on the transport's thread, unless it has let go of this connection.
    template<typename Fn> void tell(Fn fn)
    {
        std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(
                owner, [to = owner, fn = std::move(fn)] { fn(to); }, Qt::QueuedConnection);
    }
    void tellFailure(const ShareFailure &failure);
    // Why the connection could not be made or was lost, from the library's result code.
    ShareFailure failureOf(int rc, int error);

    static void onConnect(mosquitto *client, void *data, int code, int, const mosquitto_property *);
    static void onPublish(mosquitto *, void *data, int mid, int reason,
                          const mosquitto_property *properties);
    static void onLog(mosquitto *, void *data, int level, const char *line);
    static void onMessage(mosquitto *, void *data, const mosquitto_message *message,
                          const mosquitto_property *properties);
};

// The words of a failure the user cannot mend by waiting, and of one that may pass.
ShareFailure MqttRefused(const QString &words);
ShareFailure MqttRetry(const QString &words);
// The broker's name for a reason code, as the end of a sentence.
QString MqttReasonOf(int code);
