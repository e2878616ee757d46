#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QSocketNotifier;
struct sockaddr_un;

// Keeps the program to one copy per user: the first copy holds a lock and listens; a later
// copy asks it to show its window (or to switch logging, or to log now) and ends. Two copies would
// share, and delete, each other's working files.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // folder: where the lock and the socket live (the user's runtime folder by default). An
    // empty folder means there is no safe place for them: every copy then runs on its own.
    // What a later copy asks of the running one, one line each: "show", "toggle", "log-now".
    enum class Request { Show, Toggle, LogNow };
    Q_ENUM(Request)

    explicit SingleInstance(const QString &folder = defaultFolder(), QObject *parent = nullptr);
    ~SingleInstance() override;

    static QString defaultFolder();

    // True when this copy is the first: it now holds the lock and listens (a plain local socket:
    // the whole protocol is a line each way, not worth a networking library at every start).
    // False when another copy runs; that copy has been asked what request says, and its answer
    // awaited for the answer wait at most.
    bool claim(Request request = Request::Show);
    // For a copy that is not the first: whether the running copy said it took the request.
    // Bytes taken by the socket alone tell nothing: a hung copy's socket takes them too.
    bool requestDelivered() const { return m_delivered; }
    // For a copy that is not the first: the running copy's process number, 0 when unknown.
    qint64 runningProcess() const { return m_runningProcess; }
    // How long a later copy waits for the running copy's answer (before claim()).
    void setAnswerWait(std::chrono::milliseconds wait) { m_answerWait = wait; }

    QString lockPath() const;
    QString serverPath() const;

Q_SIGNALS:
    // Another copy was started: the window should come to the front, or do as it was asked.
    void requested(SingleInstance::Request request);

private:
    void listen(const sockaddr_un &address);
    void onNewConnection();
    void ask(const sockaddr_un &address, Request request);
    bool awaitAnswer(int fd, std::chrono::milliseconds wait);

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    // The listening socket, or -1.
    int m_server = -1;
    QSocketNotifier *m_serverNotifier = nullptr;
    bool m_delivered = false;
    qint64 m_runningProcess = 0;
    std::chrono::milliseconds m_answerWait {5000};
};
