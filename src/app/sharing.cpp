#include "app/sharing.h"

#include "app/look.h"
#include "app/sharedialog.h"
#include "app/startuprestore.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "desktop/networkwatch.h"
#include "lookup/curlfunctions.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "settings/settingsstore.h"
#include "share/secretstore.h"
#include "share/sharer.h"
#include "share/sharingtable.h"

#include "share/httptransport.h"
#include "share/mqtttransport.h"

#include <QPushButton>
#include <climits>

namespace {

const char *const ModeTexts[] = {"Off", "HTTP", "MQTT"};
const char *const AuthTexts[] = {"None", "Basic", "Token"};

// The position of text among texts, without regard to case; 0 (the default) when it is none.
template<size_t N> int indexOf(const char *const (&texts)[N], const QString &text)
{
    for (size_t i = 0; i < N; ++i) {
        if (text.trimmed().compare(QLatin1String(texts[i]), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return 0;
}

QString onOff(bool on)
{
    return QString::fromLatin1(on ? SettingKeys::On : SettingKeys::Off);
}

} // namespace

std::unique_ptr<ShareTransport> MakeShareTransport([[maybe_unused]] const ShareSettings &settings)
{
    switch (settings.mode) {
    case ShareSettings::Mode::Http:
        return std::make_unique<HttpTransport>(settings, nullptr);
    case ShareSettings::Mode::Mqtt:
        return std::make_unique<MqttTransport>(settings, nullptr);
    case ShareSettings::Mode::Off:
        break;
    }
    return nullptr;
}

namespace {

// Sent by "Send Test" while no row has a place: a place no laptop logs, so that the user knows
// it on the server's map for the test it is.
LogRecord testRecord(const QDateTime &now)
{
    LogRecord record;
    record.instant = now;
    record.timeText = CurlFunctions::TimeText(now);
    record.cells[LogTable::City - 1] = QStringLiteral("Trovanel test");
    record.cells[LogTable::Coordinates - 1] = QStringLiteral("0.0000,0.0000");
    record.askedByUser = true;
    return record;
}

} // namespace

Sharing::Sharing(KeptResults *kept, ResultsList *results, Dialogs *dialogs, QWidget *window)
    : QObject(window),
      m_kept(kept),
      m_results(results),
      m_dialogs(dialogs),
      m_window(window),
      m_button(
          NamedButton(QStringLiteral("PushButtonShare"), QStringLiteral("Share Logs…"), window)),
      m_secrets(new SecretStore(dialogs, this)),
      m_sharer(new Sharer(&MakeShareTransport, this)),
      m_stored(
          [kept]() -> HistoryStore * {
              return kept->isKeeping() && kept->store().isOpen() ? &kept->store() : nullptr;
          },
          [kept] { kept->outboxDamaged(); })
{
    m_table = std::make_unique<SharingTable>(SharingTable::Parts {
        .next = kept,
        .sharer = m_sharer,
        .memory = &m_memory,
        .keptLast = [kept] { return kept->keptLast(); },
        .sender = [this] { return sender(); },
    });
    connect(m_button, &QPushButton::clicked, this, &Sharing::showDialog);
    connect(m_sharer, &Sharer::waitingChanged, this, [this](qint64 count) {
        const QList<ShareQueue::SetAside> setAside = m_sharer->setAside();
        if (m_dialog)
            m_dialog->showSetAside(setAside);
        Q_EMIT waitingChanged(count, m_memory.dropped(), setAside.size());
    });
    connect(m_sharer, &Sharer::refused, this, [this](const QString &words) {
        m_dialogs->inform(QStringLiteral("Sharing logs has stopped: %1\nThe logs wait until the "
                                         "settings change or a test message is delivered.")
                              .arg(words));
    });
}

Sharing::~Sharing() = default;

LogTable *Sharing::table() const
{
    return m_table.get();
}

OwnMessage::Sender Sharing::sender() const
{
    return {OwnMessage::trackerId(ShareDialog::hostName()),
            m_network ? m_network->connectionLetter() : QString()};
}

void Sharing::restore(StepRunner &steps, const Settings::Snapshot &settings)
{
    ShareSettings &s = m_settings;
    const auto text = [&s](QString ShareSettings::*field) {
        return [&s, field](const QString &value) {
            s.*field = value.trimmed();
        };
    };
    const auto on = [&s](bool ShareSettings::*field) {
        return [&s, field](const QString &value) {
            s.*field = value == SettingKeys::On;
        };
    };
    RestoreAll(steps, settings,
               {
                   {SettingKeys::Share, 238,
                    [&s](const QString &value) {
                        s.mode = ShareSettings::Mode(indexOf(ModeTexts, value));
                    }},
                   {SettingKeys::ShareUrl, 240, text(&ShareSettings::url)},
                   {SettingKeys::ShareAuth, 242,
                    [&s](const QString &value) {
                        s.auth = ShareSettings::Auth(indexOf(AuthTexts, value));
                    }},
                   {SettingKeys::ShareUser, 244, text(&ShareSettings::user)},
                   {SettingKeys::ShareDevice, 246, text(&ShareSettings::device)},
                   {SettingKeys::ShareHost, 248, text(&ShareSettings::host)},
                   {SettingKeys::SharePort, 250,
                    [&s](const QString &value) {
                        bool number = false;
                        const int port = value.trimmed().toInt(&number);
                        s.port = number && port > 0 && port < 65536 ? port : 1883;
                    }},
                   {SettingKeys::ShareTls, 252, on(&ShareSettings::tls)},
                   {SettingKeys::ShareCaFile, 254, text(&ShareSettings::caFile)},
                   {SettingKeys::ShareTopic, 256, text(&ShareSettings::topic)},
                   {SettingKeys::ShareClientId, 258, text(&ShareSettings::clientId)},
                   {SettingKeys::ShareTopicInBody, 260, on(&ShareSettings::topicInBody)},
               });
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
        m_sharer->setQueues({&m_stored, &m_memory});
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
    if (m_secretRead) {
        then();
        return;
    }
    m_secrets->read([this, then](const QString &secret) {
        m_settings.secret = secret;
        m_secretRead = true;
        then();
    });
}

void Sharing::setKeeping(bool keep)
{
    if (!keep) {
        // Out of the history before it may be deleted; memory holds the newest Capacity.
        for (const ShareQueue::Entry &entry :
             m_stored.first(int(std::min<qint64>(m_stored.count(), INT_MAX)))) {
            m_memory.add(entry.tst, entry.body);
            m_stored.remove(entry.id);
        }
    }
    m_kept->setKeeping(keep);
    if (keep) {
        for (const ShareQueue::Entry &entry : m_memory.first(int(m_memory.count()))) {
            if (m_stored.add(entry.tst, entry.body))
                m_memory.remove(entry.id);
        }
    }
    // What was on its way is sent again from where it waits now.
    if (m_started)
        m_sharer->setQueues({&m_stored, &m_memory});
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
    }
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
    m_sharer->sendTest(settings, message);
}

void Sharing::discard(qint64 id)
{
    if (m_dialogs->askYesNo(QStringLiteral("Discard this log? The server will never have it.")))
        m_sharer->discard(id);
}

void Sharing::choose(const ShareSettings &settings)
{
    if (settings.secret == m_settings.secret) {
        apply(settings);
        return;
    }
    m_secrets->write(settings.secret, [this, settings](bool kept) {
        // Not kept: sharing stays as it was.
        if (kept)
            apply(settings);
    });
}

void Sharing::apply(const ShareSettings &settings)
{
    StepRunner steps(QStringLiteral("Sharing"), QStringLiteral("choose"));
    steps.step(100, [&] {
        const ShareSettings &s = settings;
        Settings::save(SettingKeys::Share, QString::fromLatin1(ModeTexts[int(s.mode)]));
        Settings::save(SettingKeys::ShareUrl, s.url);
        Settings::save(SettingKeys::ShareAuth, QString::fromLatin1(AuthTexts[int(s.auth)]));
        Settings::save(SettingKeys::ShareUser, s.user);
        Settings::save(SettingKeys::ShareDevice, s.device);
        Settings::save(SettingKeys::ShareHost, s.host);
        Settings::save(SettingKeys::SharePort, QString::number(s.port));
        Settings::save(SettingKeys::ShareTls, onOff(s.tls));
        Settings::save(SettingKeys::ShareCaFile, s.caFile);
        Settings::save(SettingKeys::ShareTopic, s.topic);
        Settings::save(SettingKeys::ShareClientId, s.clientId);
        Settings::save(SettingKeys::ShareTopicInBody, onOff(s.topicInBody));
    });
    m_settings = settings;
    m_sharer->setSettings(m_settings);
}
