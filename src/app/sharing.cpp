#include "app/sharing.h"

#include "app/look.h"
#include "app/sharedialog.h"
#include "app/startuprestore.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "desktop/networkwatch.h"
#include "lookup/curlfunctions.h"
#include "results/historystore.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "settings/settingsstore.h"
#include "share/secretstore.h"
#include "share/sharer.h"
#include "share/sharingtable.h"
#include "share/storedsharesettings.h"

#include <QPushButton>
#include <climits>
#include <iterator>
#include <optional>
#include <utility>

namespace {

// Whether the server is reached with the secret: the ways Share Logs… asks for it.
bool needsSecret(const ShareSettings &settings)
{
    return (settings.mode == ShareSettings::Mode::Mqtt && !settings.user.trimmed().isEmpty())
        || (settings.mode == ShareSettings::Mode::Http
            && settings.auth != ShareSettings::Auth::None);
}

// Sent by "Send Test" while no row has a place: a place no laptop logs, so that the user knows
// it on the server's map for the test it is.
LogRecord testRecord(const QDateTime &now)
{
    LogRecord record;
    record.instant = now;
    record.timeText = CurlFunctions::TimeText(now);
    record.cells[LogTable::City - 1] = QStringLiteral("Trovanel test");
    record.cells[LogTable::Coordinates - 1] = QStringLiteral("0.0000,0.0000");
    record.askedBy = Asker::User;
    return record;
}

} // namespace

Sharing::Sharing(KeptResults *kept, ResultsList *results, Dialogs *dialogs,
                 Settings::Store &settings, QWidget *window)
    : QObject(window),
      m_kept(kept),
      m_results(results),
      m_dialogs(dialogs),
      m_store(settings),
      m_window(window),
      m_button(
          NamedButton(QStringLiteral("PushButtonShare"), QStringLiteral("Share Logs…"), window)),
      m_secrets(new SecretStore(dialogs, settings, this)),
      m_keys(new SecretStore(dialogs, settings, this, SecretStore::EncryptionKey)),
      m_sharer(new Sharer([this](const ShareSettings &s) { return makeTransport(s); }, this)),
      // A history the user keeps for later stays open while its messages wait.
      m_stored(
          [kept]() -> HistoryStore * { return kept->store().isOpen() ? &kept->store() : nullptr; },
          [kept] { kept->outboxDamaged(); })
{
    m_table = std::make_unique<SharingTable>(SharingTable::Parts {
        .sharer = m_sharer,
        .memory = &m_memory,
        .sender = [this] { return sender(); },
    });
    m_sharer->setQueues({&m_stored, &m_memory});
    kept->setMessages({
        .messageFor = [this](const LogRecord &record) { return m_table->messageFor(record); },
        .added = [this](const LogRecord &record, const QByteArray &message,
                        bool kept) { m_table->added(record, message, kept); },
    });
    connect(m_button, &QPushButton::clicked, this, &Sharing::showDialog);
    connect(m_sharer, &Sharer::waitingChanged, this, [this](qint64 count) {
        const QList<ShareQueue::SetAside> setAside = m_sharer->setAside();
        if (m_dialog)
            m_dialog->showSetAside(setAside);
        Q_EMIT waitingChanged(count, m_memory.dropped(), setAside.size());
        // A log to share: the store may have been unlocked since it was last asked.
        if (m_started && ((!m_secretKnown && needsSecret(m_settings)) || m_keyLocked)
            && m_secretMissed.isValid() && m_secretMissed.hasExpired(AskAgainMs))
            askForSecret();
    });
    connect(m_sharer->requests(), &CommandRequests::positionAsked, this, &Sharing::positionAsked);
    connect(kept, &KeptResults::writableAgain, this, &Sharing::keepMemoryQueue);
    connect(kept, &KeptResults::deleting, this, &Sharing::takeOutbox);
    connect(m_sharer, &Sharer::refused, this, [this](const QString &words) {
        m_dialogs->inform(QStringLiteral("Sharing logs has stopped: %1\nThe logs wait until the "
                                         "settings change or a test message is delivered.")
                              .arg(words));
    });
}

Sharing::~Sharing() = default;

void Sharing::follow(CurlFunctions *lookup)
{
    lookup->setWiFiWait({
        .begins = [this](LogId log, int milliseconds) { m_table->mayJoin(log, milliseconds); },
        .ends =
            [this](LogId log, const std::optional<Fix> &joined) {
                const int row = m_results->findRow(log);
                std::optional<LogRecord> whole;
                if (joined && row >= 0) {
                    whole = m_results->record(row);
                    whole->wifi = joined;
                }
                m_table->waitOver(log, std::move(whole));
            },
    });
}

OwnMessage::Sender Sharing::sender() const
{
    return {OwnMessage::trackerId(ShareSettings::hostName()),
            m_network ? m_network->connectionKind() : ConnectionKind::Unknown};
}

void Sharing::restore(StepRunner &steps, const Settings::Snapshot &settings)
{
    // Each key's report line, in the order the keys are read.
    static constexpr FormLoadStep Lines[] = {
        FormLoadStep::Share,         FormLoadStep::ShareUrl,      FormLoadStep::ShareAuth,
        FormLoadStep::ShareUser,     FormLoadStep::ShareDevice,   FormLoadStep::ShareHost,
        FormLoadStep::SharePort,     FormLoadStep::ShareTls,      FormLoadStep::ShareCaFile,
        FormLoadStep::ShareTopic,    FormLoadStep::ShareClientId, FormLoadStep::ShareTopicInBody,
        FormLoadStep::ShareCommands,
    };
    const std::span<const StoredShareSettings::Field> fields = StoredShareSettings::fields();
    Q_ASSERT(fields.size() == std::size(Lines));
    for (size_t i = 0; i < fields.size(); ++i) {
        const StoredShareSettings::Field &field = fields[i];
        RestoreAll(steps, settings, {{field.key, Lines[i], [this, &field](const QString &text) {
                                          field.read(m_settings, text);
                                      }}});
    }
    // Messages are made from now on; they leave once the secret is in and the queues are set.
    m_sharer->setSettings(m_settings);
}

void Sharing::start(NetworkWatch *network)
{
    m_network = network;
    // A network that comes back ends the wait before the next try.
    connect(network, &NetworkWatch::changed, this, [this] {
        if (m_network->isUp())
            m_sharer->networkCameBack();
    });
    const auto begin = [this] {
        m_sharer->setSettings(m_settings);
        m_started = true;
        m_sharer->start();
    };
    // With sharing off the secret store is not asked (nor started by the bus) until the user
    // opens Share Logs….
    if (m_settings.mode == ShareSettings::Mode::Off)
        begin();
    else
        withSecret(begin);
}

void Sharing::withSecret(const std::function<void()> &then)
{
    if (m_secretKnown) {
        then();
        return;
    }
    m_afterSecret.append(then);
    askForSecret();
}

void Sharing::askForSecret()
{
    if (m_askingSecret)
        return;
    m_askingSecret = true;
    m_secrets->read([this](const std::optional<QString> &secret) { askForKey(secret); });
}

void Sharing::askForKey(const std::optional<QString> &secret)
{
    if (m_keyKnown)
        return secretsCame(secret, m_settings.encryptionKey);
    m_keys->read([this, secret](const std::optional<QString> &key) { secretsCame(secret, key); });
}

void Sharing::secretsCame(const std::optional<QString> &secret, const std::optional<QString> &key)
{
    m_askingSecret = false;
    const bool wasStarted = m_started;
    // One the user chose meanwhile is newer than the store's answer.
    bool came = secret && !m_secretKnown;
    if (came) {
        m_settings.secret = *secret;
        m_secretKnown = true;
    } else if (!secret) {
        m_secretMissed.start();
    }
    if (key && !m_keyKnown) {
        m_settings.encryptionKey = *key;
        m_keyKnown = true;
        m_keyLocked = false;
        came = true;
    } else if (!key) {
        m_keyLocked = !m_keyKnown;
        m_secretMissed.start();
    }
    tellSecretLocked();
    for (const std::function<void()> &then : std::exchange(m_afterSecret, {}))
        then();
    if (came && wasStarted) {
        m_sharer->setSettings(m_settings);
        resend();
    }
}

void Sharing::tellSecretLocked()
{
    Q_EMIT secretLocked(((!m_secretKnown && needsSecret(m_settings)) || m_keyLocked)
                        && m_secretMissed.isValid());
}

std::unique_ptr<ShareTransport> Sharing::makeTransport(const ShareSettings &settings) const
{
    // Without its secret the server would only refuse the messages: they wait for the store. A
    // test goes with the secret the dialog holds.
    if (!m_testing && ((!m_secretKnown && needsSecret(settings)) || m_keyLocked))
        return nullptr;
    return MakeShareTransport(settings);
}

void Sharing::resend()
{
    if (m_started)
        m_sharer->start();
}

void Sharing::setKeeping(bool keep)
{
    // Cleared, the history asks first; its messages move (takeOutbox) only once the user chose
    // to delete it.
    m_kept->setKeeping(keep);
    if (keep)
        keepMemoryQueue();
}

// The history can be written (again): the messages that waited in memory go into it, all of
// them or, when it fails, none, which wait in memory for the next time.
void Sharing::keepMemoryQueue()
{
    HistoryStore &store = m_kept->store();
    const QList<ShareQueue::SetAside> setAside = m_memory.setAsideMessages();
    if (!m_kept->isKeeping() || !store.isOpen() || (m_memory.count() == 0 && setAside.isEmpty()))
        return;
    const QList<ShareQueue::Entry> waiting = m_memory.first(int(m_memory.count()));
    QList<HistoryStore::Outgoing> messages;
    messages.reserve(waiting.size());
    for (const ShareQueue::Entry &entry : waiting)
        messages.append({0, entry.log, entry.tst, entry.body});
    QList<HistoryStore::Aside> aside;
    aside.reserve(setAside.size());
    for (const ShareQueue::SetAside &message : setAside)
        aside.append({0, message.log, message.tst, message.body, message.words});
    try {
        store.addAllToOutbox(messages, aside);
    } catch (const Failure &) {
        return;
    }
    for (const ShareQueue::Entry &entry : waiting)
        m_memory.remove(entry.id);
    for (const ShareQueue::SetAside &message : setAside)
        m_memory.discard(message.id);
    resend();
}

// The history is about to be deleted: its messages wait in memory (the newest Capacity), and
// leave the file first, in one transaction, so that a file that cannot be deleted sends none of
// them a second time.
void Sharing::takeOutbox()
{
    HistoryStore &store = m_kept->store();
    QList<HistoryStore::Outgoing> waiting;
    QList<HistoryStore::Aside> setAside;
    try {
        waiting = store.outbox(INT_MAX);
        setAside = store.setAsideMessages();
    } catch (const Failure &) {
        return; // none can be read, to move or to send
    }
    if (waiting.isEmpty() && setAside.isEmpty())
        return;
    for (const HistoryStore::Outgoing &message : std::as_const(waiting))
        m_memory.add(message.log, message.tst, message.body);
    // The user alone decides what becomes of those the server would not take.
    for (const HistoryStore::Aside &message : std::as_const(setAside))
        m_memory.keepSetAside(message.log, message.tst, message.body, message.words);
    try {
        store.clearOutbox();
    } catch (const Failure &) {
        // The file goes all the same; one that stays is told by the history.
    }
    resend();
}

void Sharing::showDialog()
{
    if (!m_dialog) {
        m_dialog = new ShareDialog(m_window);
        connect(m_dialog, &ShareDialog::testRequested, this, &Sharing::sendTest);
        connect(m_dialog, &ShareDialog::chosen, this, &Sharing::choose);
        connect(m_sharer, &Sharer::testOutcome, m_dialog, &ShareDialog::showTestOutcome);
        connect(m_dialog, &ShareDialog::sendAgainRequested, m_sharer, &Sharer::sendAgain);
        connect(m_dialog, &ShareDialog::discardRequested, this, &Sharing::discard);
        connect(m_sharer->requests(), &CommandRequests::lastRequestChanged, m_dialog,
                &ShareDialog::showLastRequest);
    }
    m_dialog->showLastRequest(m_sharer->requests()->lastRequest());
    m_dialog->showSetAside(m_sharer->setAside());
    withSecret([this] {
        m_dialog->setSettings(m_settings);
        m_dialog->open();
        m_dialog->raise();
        m_dialog->activateWindow();
    });
}

void Sharing::sendTest(const ShareSettings &settings)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QByteArray message;
    // The newest row that found a place.
    for (int row = m_results->rows() - 1; row >= 0 && message.isEmpty(); --row)
        message = OwnMessage::location(m_results->record(row), sender(), now);
    if (message.isEmpty())
        message = OwnMessage::location(testRecord(QDateTime::currentDateTime()), sender(), now);
    m_testing = true;
    m_sharer->sendTest(settings, message);
    m_testing = false;
}

void Sharing::discard(qint64 id)
{
    if (m_dialogs->askYesNo(QStringLiteral("Discard this log? The server will never have it.")))
        m_sharer->discard(id);
}

void Sharing::choose(const ShareSettings &settings)
{
    if (settings.encryptionKey != m_settings.encryptionKey) {
        m_keys->write(settings.encryptionKey, [this, settings](bool kept) {
            // Not kept: sharing stays as it was. Kept, it is the key from now on.
            if (!kept)
                return;
            m_keyKnown = true;
            m_keyLocked = false;
            m_settings.encryptionKey = settings.encryptionKey;
            choose(settings);
        });
        return;
    }
    if (settings.secret == m_settings.secret) {
        apply(settings);
        return;
    }
    m_secrets->write(settings.secret, [this, settings](bool kept) {
        // Not kept: sharing stays as it was. Kept, it is the secret from now on, whatever the
        // store said before.
        if (kept) {
            m_secretKnown = true;
            apply(settings);
        }
    });
}

void Sharing::apply(const ShareSettings &settings)
{
    StepRunner steps(QStringLiteral("Sharing"), QStringLiteral("choose"));
    steps.step(100, [&] { StoredShareSettings::write(m_store, settings); });
    m_settings = settings;
    m_sharer->setSettings(m_settings);
    tellSecretLocked();
}

void Sharing::withdraw(const QList<LogId> &logs)
{
    for (const LogId log : logs)
        m_memory.withdraw(log);
}

bool Sharing::replaceWaiting(LogId log, const QByteArray &now)
{
    return m_sharer->replace(log, now);
}
