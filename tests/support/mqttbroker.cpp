#include "support/mqttbroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <unistd.h>

namespace {

bool run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    return process.waitForFinished(30'000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

} // namespace

MqttBroker::MqttBroker(bool tls) : m_tls(tls)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    m_port = probe.serverPort();
    probe.close();
    const QString dir = m_dir.path();
    run(QStringLiteral("mosquitto_passwd"),
        {"-c", "-b", dir + "/passwd", QString::fromLatin1(User), QString::fromLatin1(Password)});
    QByteArray config
        = QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\n"
                         "password_file %2/passwd\npersistence true\n"
                         "persistence_location %2/\nlog_dest file %2/broker.log\nuser %3\n")
              .arg(m_port)
              .arg(dir, qEnvironmentVariable("USER", "root"))
              .toUtf8();
    if (tls) {
        // An EC CA and a server certificate for localhost it signs: quick to make.
        run(QStringLiteral("sh"),
            {"-ec",
             "cd \"$0\"; k='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes';"
             "openssl req -x509 $k -keyout ca.key -out ca.pem -days 2 -subj /CN=TestCA 2>/dev/null;"
             "openssl req $k -keyout server.key -out server.csr -subj /CN=localhost 2>/dev/null;"
             "printf 'subjectAltName=DNS:localhost' > san;"
             "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
             " -days 2 -extfile san -out server.pem 2>/dev/null",
             dir});
        config
            += QStringLiteral("cafile %1/ca.pem\ncertfile %1/server.pem\nkeyfile %1/server.key\n")
                   .arg(dir)
                   .toUtf8();
    }
    QFile file(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (file.open(QIODevice::WriteOnly))
        file.write(config);
}

MqttBroker::~MqttBroker()
{
    stop();
}

bool MqttBroker::start()
{
    m_broker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_broker.start(QStringLiteral("mosquitto"), {"-c", m_dir.filePath("mosquitto.conf")});
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
    if (m_broker.state() == QProcess::NotRunning)
        return;
    m_broker.terminate();
    if (!m_broker.waitForFinished(5'000))
        m_broker.kill();
    m_broker.waitForFinished(1'000);
}

QByteArray MqttBroker::client(const QString &program, const QStringList &args,
                              const QByteArray &input, int timeoutMs) const
{
    QStringList all {"-h", "localhost",
                     "-p", QString::number(m_port),
                     "-u", QString::fromLatin1(User),
                     "-P", QString::fromLatin1(Password)};
    if (m_tls)
        all << "--cafile" << caFile();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, all + args);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs) || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(1'000);
        return QByteArrayLiteral("(failed)");
    }
    return process.readAllStandardOutput();
}
