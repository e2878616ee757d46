#include "support/loopbackserver.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

LoopbackServer::LoopbackServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_response.body = prettyAnswer();
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackServer::onNewConnection);
}

LoopbackServer::~LoopbackServer() = default;

bool LoopbackServer::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 LoopbackServer::port() const
{
    return m_server->serverPort();
}

QString LoopbackServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void LoopbackServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_mode == Mode::CloseAtOnce) {
            socket->close();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }
}

void LoopbackServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    const qsizetype headEnd = request.indexOf("\r\n\r\n");
    if (headEnd < 0 || socket->property("answered").toBool())
        return;
    // A request with a body is whole once as many bytes as its Content-Length have come.
    qsizetype bodyLength = 0;
    for (const QByteArray &line : request.left(headEnd).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            bodyLength = line.mid(15).trimmed().toLongLong();
    }
    if (request.size() < headEnd + 4 + bodyLength)
        return;
    socket->setProperty("answered", true);
    m_requests.append(request);

    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QString::fromUtf8(requestLine.at(1)) : QString();
    m_paths.append(path);
    Q_EMIT requestReceived(path);

    switch (m_mode) {
    case Mode::Hold:
        return;
    case Mode::Slow: {
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(m_delayMs, this, [this, guarded] {
            if (guarded)
                respond(guarded);
        });
        return;
    }
    default:
        respond(socket);
    }
}

void LoopbackServer::respond(QTcpSocket *socket)
{
    const QByteArray &body = m_response.body;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(m_response.status) + " Test\r\n";
    head += "Content-Type: " + m_response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (!m_response.location.isEmpty())
        head += "Location: " + m_response.location + "\r\n";
    head += m_response.headers;
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (m_mode == Mode::CutTransfer) {
        socket->write(body.left(body.size() / 2));
        socket->flush();
        socket->abort();
        return;
    }
    socket->write(body);
    socket->disconnectFromHost();
}

QByteArray LoopbackServer::prettyAnswer()
{
    return "{\n"
           "  \"ip\": \"203.0.113.7\",\n"
           "  \"city\": \"S\xc3\xa3o Paulo\",\n"
           "  \"region\": \"S\xc3\xa3o Paulo\",\n"
           "  \"country\": \"BR\",\n"
           "  \"loc\": \"-23.5475,-46.6361\",\n"
           "  \"org\": \"AS64500 Example Networks\",\n"
           "  \"postal\": \"01000-000\",\n"
           "  \"timezone\": \"America/Sao_Paulo\"\n"
           "}";
}

QByteArray LoopbackServer::singleLineAnswer()
{
    return "{\"ip\":\"198.51.100.4\",\"city\":\"Berlin\",\"region\":\"Berlin\",\"country\":\"DE\","
           "\"loc\":\"52.5244,13.4105\",\"postal\":\"10115\",\"timezone\":\"Europe/Berlin\"}";
}

QByteArray LoopbackServer::rateLimitAnswer()
{
    return "{\n"
           "  \"status\": 429,\n"
           "  \"error\": {\n"
           "    \"title\": \"Rate limit exceeded\",\n"
           "    \"message\": \"Upgrade to increase your usage limits.\"\n"
           "  }\n"
           "}";
}
