#include "support/mqttbroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <unistd.h>

// The password file, access rules, configuration and, with TLS, an EC CA (quick to make) and a
// server certificate for localhost it signs. Arguments: folder, port, user, password, TLS, limit.
static const char SetUp[] = R"sh(cd "$1"; mosquitto_passwd -c -b passwd "$3" "$4"
echo 'pattern readwrite owntracks/%u/#' >acl
printf 'listener %s 127.0.0.1\nallow_anonymous false\npassword_file %s/passwd\npersistence true
persistence_location %s/\nlog_dest file %s/broker.log\nuser %s\nacl_file %s/acl
message_size_limit %s\n' "$2" "$1" "$1" "$1" "$(id -un)" "$1" "$6" >conf
for t in error warning notice information subscribe unsubscribe; do echo "log_type $t"; done >>conf
[ "$5" = 1 ] || exit 0
k='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes'
openssl req -x509 $k -keyout ca.key -out ca.pem -days 2 -subj /CN=TestCA 2>/dev/null
openssl req $k -keyout server.key -out server.csr -subj /CN=localhost 2>/dev/null
echo subjectAltName=DNS:localhost > san
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile san \
    -out server.pem 2>/dev/null
printf 'cafile %s/ca.pem\ncertfile %s/server.pem\nkeyfile %s/server.key\n' "$1" "$1" "$1" >> conf)sh";

MqttBroker::MqttBroker(bool tls) : m_tls(tls)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    m_port = probe.serverPort(); // free again once the probe is gone
    QProcess setUp;
    setUp.start("sh",
                {"-ec", SetUp, "sh", m_dir.path(), QString::number(m_port), User, Password,
                 tls ? "1" : "0", QString::number(MessageSizeLimit)});
    setUp.waitForFinished(30'000);
}

bool MqttBroker::start()
{
    m_broker.start(QStringLiteral("mosquitto"), {"-c", m_dir.filePath("conf")});
    const QDeadlineTimer deadline(5'000);
    while (!deadline.hasExpired() && m_broker.state() != QProcess::NotRunning) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        usleep(20'000);
    }
    return false;
}

void MqttBroker::stop()
{
    m_broker.terminate();
    m_broker.waitForFinished(5'000); // or it is killed when this goes
}

QByteArray MqttBroker::client(const QString &program, const QStringList &args,
                              const QByteArray &input) const
{
    QStringList all {"-h", "localhost", "-p", QString::number(m_port), "-u", User, "-P", Password};
    if (m_tls)
        all << "--cafile" << caFile();
    QProcess process;
    process.start(program, all + args);
    process.write(input);
    process.closeWriteChannel();
    if (process.waitForFinished(30'000) && process.exitCode() == 0)
        return process.readAllStandardOutput();
    return QByteArrayLiteral("(failed)"); // and it is killed
}

QByteArray MqttBroker::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("broker.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 MqttBroker::v311Port()
{
    if (m_front.isListening())
        return m_front.serverPort();
    m_front.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_front, &QTcpServer::newConnection, &m_front, [this] {
        while (QTcpSocket *in = m_front.nextPendingConnection()) {
            auto *out = new QTcpSocket(in);
            QObject::connect(in, &QTcpSocket::readyRead, in, [this, in, out] {
                if (out->state() == QAbstractSocket::UnconnectedState) {
                    // The protocol level follows the protocol's name in the CONNECT.
                    const QByteArray head = in->peek(16);
                    const qsizetype level = head.indexOf("MQTT") + 4;
                    if (level < 4 || level >= head.size())
                        return;
                    if (head[level] == 5) { // unacceptable protocol version
                        in->write(QByteArray::fromHex("20020001"));
                        in->disconnectFromHost();
                        return;
                    }
                    out->connectToHost(QHostAddress::LocalHost, m_port);
                }
                out->write(in->readAll());
            });
            QObject::connect(out, &QTcpSocket::readyRead, in,
                             [in, out] { in->write(out->readAll()); });
            QObject::connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
        }
    });
    return m_front.serverPort();
}
