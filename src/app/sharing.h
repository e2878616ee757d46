#pragma once

#include "share/ownmessage.h"
#include "share/sharequeue.h"
#include "share/sharesettings.h"
#include "share/storedsharequeue.h"

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
class StepRunner;
namespace Settings {
class Snapshot;
}

// The way to the server the settings name: HTTP, MQTT, or none while sharing is off.
std::unique_ptr<ShareTransport> MakeShareTransport(const ShareSettings &settings);

// Each good log shared with the user's own location server, as the user chose in "Share
// Logs…": the message is made as the row is added and waits, in the kept history while results
// are kept and in memory otherwise, until the server has it. The lookup, the window and the tick
// never wait for the server; the secret waits in the desktop's secret store.
class Sharing : public QObject
{
    Q_OBJECT

public:
    // The button is the window's child, for its layout; rows go on to kept.
    Sharing(KeptResults *kept, ResultsList *results, Dialogs *dialogs, QWidget *window);
    ~Sharing() override;

    // Where the lookup puts its rows.
    LogTable *table() const;
    QPushButton *button() const { return m_button; }
    Sharer *sharer() const { return m_sharer; }
    ShareDialog *dialog() const { return m_dialog; }
    qint64 droppedFromMemory() const { return m_memory.dropped(); }

    // Start-up: the stored choices, the secret aside.
    void restore(StepRunner &steps, const Settings::Snapshot &settings);
    // Once the window is on screen: the secret is asked for, then the sending starts.
    void start(NetworkWatch *network);
    // The user ticked or cleared "Keep results between runs": the waiting messages go where
    // they will survive as long as the rows do, before the history may be deleted.
    void setKeeping(bool keep);

Q_SIGNALS:
    // How many logs wait to be shared, how many were dropped from memory for more, and how
    // many the server would not take.
    void waitingChanged(qint64 count, qint64 dropped, qint64 setAside);

private:
    void showDialog();
    void sendTest(const ShareSettings &settings);
    // A message the server would not take goes for good, once the user confirms.
    void discard(qint64 id);
    void choose(const ShareSettings &settings);
    void apply(const ShareSettings &settings);
    // Runs then once the stored secret is in the settings, asking the store the first time.
    void withSecret(const std::function<void()> &then);
    OwnMessage::Sender sender() const;

    KeptResults *m_kept;
    ResultsList *m_results;
    Dialogs *m_dialogs;
    QWidget *m_window;
    QPushButton *m_button;
    SecretStore *m_secrets;
    Sharer *m_sharer;
    MemoryShareQueue m_memory;
    StoredShareQueue m_stored;
    std::unique_ptr<SharingTable> m_table;
    ShareDialog *m_dialog = nullptr;
    NetworkWatch *m_network = nullptr;
    ShareSettings m_settings;
    bool m_started = false;
    bool m_secretRead = false;
};
