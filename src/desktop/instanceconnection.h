#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

class SingleInstance;

// What copies of the program say to each other over the running copy's socket.
namespace InstanceProtocol {

// The requests' lines, in the order of SingleInstance::Request (up to LogNow).
inline const QByteArray RequestLines[] = {"show\n", "toggle\n", "log-now\n"};
// A later copy sends nothing but the request; whatever sends more is not one of ours.
inline constexpr qsizetype RequestLimit = 64;
// The running copy's answer once it has taken a request. A copy from before there was an
// answer hangs up without one, and is told as one that did not answer.
inline const QByteArray AnswerLine = "taken\n";

// A command's request: its line, then for an import a line per file and an empty line. Many
// files with long names fit; more would be no request of ours.
inline const QByteArray ImportLine = "import\n";
inline const QByteArray RestoreLine = "restore\n";
inline constexpr qsizetype CommandLimit = 1 << 20;
// A command's answer is one line after "taken", however long the command took.
inline const QByteArray DoneWord = "done ";
inline const QByteArray FailedWord = "failed ";
inline constexpr qsizetype AnswerTextLimit = 4096;

} // namespace InstanceProtocol

// One later copy's connection, on the running copy's side: read until its request is complete,
// then closed; a command's stays open until its answer is given or the asking copy hangs up.
class InstanceConnection : public QObject
{
public:
    InstanceConnection(int fd, SingleInstance *owner);
    ~InstanceConnection() override;

private:
    void read(SingleInstance *owner);
    void command(SingleInstance *owner, bool import, bool more);
    void send(const QByteArray &bytes);
    void finish();

    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_received;
    // A command was taken and is waiting for its answer.
    bool m_commanded = false;
};
