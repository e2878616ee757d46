#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A small HTTP server on 127.0.0.1 that plays the geolocation service or the user's location
// server: it answers every request the same configurable way and remembers each request.
class LoopbackServer : public QObject
{
    Q_OBJECT

public:
    enum class Mode {
        Reply, // send the response
        Hold, // accept and never answer
        CloseAtOnce, // accept and close without a word
        CutTransfer, // promise the body, send half of it, close
        Slow, // send the response after delayMs
    };

    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json; charset=utf-8";
        QByteArray location = {}; // sent as the Location header when not empty
        QByteArray headers = {}; // more header lines, each ending in "\r\n"
    };

    explicit LoopbackServer(QObject *parent = nullptr);
    ~LoopbackServer() override;

    bool listen();
    quint16 port() const;
    QString baseUrl() const;

    void setMode(Mode mode) { m_mode = mode; }
    void setResponse(const Response &response) { m_response = response; }
    void setDelayMs(int ms) { m_delayMs = ms; }

    QStringList requestPaths() const { return m_paths; }
    int requestCount() const { return int(m_paths.size()); }
    // Each request whole: its request line, headers and body.
    QList<QByteArray> requests() const { return m_requests; }

    // Answers as the service sends them.
    static QByteArray prettyAnswer(); // two-space indent, no final line break
    static QByteArray singleLineAnswer();
    static QByteArray rateLimitAnswer(); // the body of a 429

Q_SIGNALS:
    void requestReceived(const QString &path);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void respond(QTcpSocket *socket);

    QTcpServer *m_server;
    Mode m_mode = Mode::Reply;
    Response m_response;
    int m_delayMs = 0;
    QStringList m_paths;
    QList<QByteArray> m_requests;
};
