#pragma once

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

// A real Mosquitto broker on a free loopback port with a configuration of its own: one user
// (User, Password), nobody else let in, each user publishing only under owntracks/<user>/,
// messages up to MessageSizeLimit bytes, what it holds kept across a restart, and with tls a
// server certificate for "localhost" signed by a CA made here (caFile()).
class MqttBroker
{
public:
    static constexpr char User[] = "laptop";
    static constexpr char Password[] = "secret";
    static constexpr int MessageSizeLimit = 1000;

    explicit MqttBroker(bool tls = false);
    ~MqttBroker() { stop(); }
    // Starts it (again, on the same port) and waits until it listens; false when it does not.
    bool start();
    void stop(); // as a system does: it saves what it holds
    quint16 port() const { return m_port; }
    // In front of it, a broker of MQTT 3.1.1 only; served by the test's event loop.
    quint16 v311Port();
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    // Runs one of the broker's own clients (mosquitto_sub, mosquitto_pub) against it, logged in
    // and trusting the CA, with input on its standard input: what it printed, or "(failed)" when
    // it did not end well within 30 s.
    QByteArray client(const QString &program, const QStringList &args,
                      const QByteArray &input = {}) const;
    // What it logged so far, its clients' subscriptions among it.
    QByteArray log() const;

private:
    QTemporaryDir m_dir;
    QProcess m_broker;
    QTcpServer m_front;
    quint16 m_port = 0;
    bool m_tls = false;
};
