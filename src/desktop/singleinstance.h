#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

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
    // Import (a line "import", a line per file, an empty line) and Restore ("restore") are
    // commands: the asking copy waits for their answer, a line "done TEXT" or "failed TEXT".
    enum class Request { Show, Toggle, LogNow, Import, Restore };
    Q_ENUM(Request)
    // The running copy's answer to a command, given once, when it is over.
    using Answer = std::function<void(bool ok, const QString &text)>;
    // What a command got: the running copy's answer, or what kept it from one.
    struct Outcome
    {
        bool ok = false;
        QString text;
    };

    explicit SingleInstance(const QString &folder = defaultFolder(), QObject *parent = nullptr);
    ~SingleInstance() override;

    static QString defaultFolder();

    // True when this copy is the first: it now holds the lock and listens (a plain local socket:
    // the whole protocol is a few lines each way, not worth a networking library at every start).
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
    // "the Trovanel already running (process N) did not answer."
    static QString notAnswered(qint64 process);

    // Asks the running copy to carry out a command (Import with its files, or Restore) and
    // waits until it is over, as long as that copy lives. When none runs, start() starts one and
    // gives its process number (0: it could not), which is then waited for a bounded time. This
    // copy never becomes the running one: it would end as soon as the command is over.
    Outcome command(Request request, const QStringList &files,
                    const std::function<qint64()> &start);
    // How long command() waits for a started copy to listen.
    void setStartWait(std::chrono::milliseconds wait) { m_startWait = wait; }

    QString lockPath() const;
    QString serverPath() const;

Q_SIGNALS:
    // Another copy was started: the window should come to the front, or do as it was asked.
    void requested(SingleInstance::Request request);
    // Another copy asks for a command: files for Import, none for Restore. answer goes back to
    // that copy, or nowhere if it went away meanwhile.
    void commanded(SingleInstance::Request request, const QStringList &files,
                   const SingleInstance::Answer &answer);

private:
    void listen(const sockaddr_un &address);
    void onNewConnection();
    void ask(const sockaddr_un &address, Request request);
    int connectTo(const sockaddr_un &address);
    // Sends message and reads the answer: "taken" within the answer wait and, for a command,
    // the line that follows once the command is over. Empty when "taken" did not come.
    std::optional<QByteArray> exchange(int fd, const QByteArray &message, bool command);
    bool lockIsFree();

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    // The listening socket, or -1.
    int m_server = -1;
    QSocketNotifier *m_serverNotifier = nullptr;
    bool m_delivered = false;
    qint64 m_runningProcess = 0;
    std::chrono::milliseconds m_answerWait {5000};
    std::chrono::milliseconds m_startWait {30000};
};
