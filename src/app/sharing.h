#pragma once

#include "share/ownmessage.h"
#include "share/sharequeue.h"
#include "share/sharesettings.h"
#include "share/storedsharequeue.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <functional>
#include <memory>

class Dialogs;
class KeptResults;
class LogTable;
class NetworkWatch;
class QPushButton;
class QWidget;
class ResultsList;
class SecretStore;
class ShareDialog;
class ShareTransport;
class Sharer;
class SharingTable;
class CurlFunctions;
class StepRunner;
namespace Settings {
class Snapshot;
class Store;
} // namespace Settings

// Each good log shared with the user's own location server, as the user chose in "Share
// Logs…": the message is made as the row is added and waits, in the kept history while results
// are kept and in memory otherwise, until the server has it. The lookup, the window and the tick
// never wait for the server; the secret waits in the desktop's secret store.
class Sharing : public QObject
{
    Q_OBJECT

public:
    // The button is the window's child, for its layout; kept commits each row's message with
    // the row. settings: where the choices and, where the user agrees, the secret are kept.
    Sharing(KeptResults *kept, ResultsList *results, Dialogs *dialogs, Settings::Store &settings,
            QWidget *window);
    ~Sharing() override;

    // A row's message waits while the lookup says the location service's fix may still join it.
    void follow(CurlFunctions *lookup);
    QPushButton *button() const { return m_button; }
    // The server as Share Logs… has it, with its secret once the secret store gave it.
    const ShareSettings &currentSettings() const { return m_settings; }
    // The rows of these logs were removed: their messages waiting in memory go with them (those
    // waiting in the kept history went with their rows).
    void withdraw(const QList<LogId> &logs);
    // The log's message still waiting is now this one, whether or not sending has started yet
    // (it waits for the secret store); false when none waits.
    bool replaceWaiting(LogId log, const QByteArray &now);
    Sharer *sharer() const { return m_sharer; }
    ShareDialog *dialog() const { return m_dialog; }
    qint64 droppedFromMemory() const { return m_memory.dropped(); }

    // Start-up: the stored choices, the secret aside.
    void restore(StepRunner &steps, const Settings::Snapshot &settings);
    // Once the window is on screen: the secret is asked for, then the sending starts. Where
    // the secret store holds the secret but does not give it (locked), the messages wait; the
    // store is asked again when Share Logs… opens, or at a log a minute or more later.
    void start(NetworkWatch *network);
    // The user ticked or cleared "Keep results between runs". Ticked, the messages waiting in
    // memory go into the history. Cleared, they stay in the history the user keeps for later
    // (and still go from there), or go to memory before the history is deleted.
    void setKeeping(bool keep);

    // The store is asked again at a log no sooner than this after it did not give the secret:
    // each time may raise its unlock prompt.
    static constexpr qint64 AskAgainMs = 60'000;

Q_SIGNALS:
    // How many logs wait to be shared, how many were dropped from memory for more, and how
    // many the server would not take.
    void waitingChanged(qint64 count, qint64 dropped, qint64 setAside);
    // The server needs the secret and the store did not give it: the messages wait.
    void secretLocked(bool locked);
    // The user's location server asks where the laptop is: a log is due, as "Log Now" makes.
    void positionAsked();

private:
    void showDialog();
    void sendTest(const ShareSettings &settings);
    // A message the server would not take goes for good, once the user confirms.
    void discard(qint64 id);
    void choose(const ShareSettings &settings);
    void apply(const ShareSettings &settings);
    // Runs then once the store has answered, the secret in the settings if it gave it; asks
    // the store while the secret is not known.
    void withSecret(const std::function<void()> &then);
    void askForSecret();
    // The key, once the password is in; then the sending may start.
    void askForKey(const std::optional<QString> &secret);
    void secretsCame(const std::optional<QString> &secret, const std::optional<QString> &key);
    void tellSecretLocked();
    std::unique_ptr<ShareTransport> makeTransport(const ShareSettings &settings) const;
    // Messages moved between memory and the history, each way in one transaction; what was on
    // its way is sent again from where it waits now.
    void keepMemoryQueue();
    void takeOutbox();
    void resend();
    OwnMessage::Sender sender() const;

    KeptResults *m_kept;
    ResultsList *m_results;
    Dialogs *m_dialogs;
    Settings::Store &m_store;
    QWidget *m_window;
    QPushButton *m_button;
    SecretStore *m_secrets;
    SecretStore *m_keys;
    Sharer *m_sharer;
    MemoryShareQueue m_memory;
    StoredShareQueue m_stored;
    std::unique_ptr<SharingTable> m_table;
    ShareDialog *m_dialog = nullptr;
    NetworkWatch *m_network = nullptr;
    ShareSettings m_settings;
    bool m_started = false;
    // The secret in m_settings is the one kept (or none is kept), rather than unknown.
    bool m_secretKnown = false;
    // The same of the encryption key; while the store holds one it does not give (locked),
    // nothing goes, lest it go in clear.
    bool m_keyKnown = false;
    bool m_keyLocked = false;
    bool m_askingSecret = false;
    bool m_testing = false;
    // Since the store last did not give the secret.
    QElapsedTimer m_secretMissed;
    QList<std::function<void()>> m_afterSecret;
};
