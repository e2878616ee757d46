#include "share/secretstore.h"

#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "settings/settingsstore.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <memory>
#include <qt6keychain/keychain.h>

// The server's password or token is one entry, whichever transport is chosen.
const SecretStore::Kind SecretStore::Password {"location server", SettingKeys::ShareSecret,
                                               "the password or token"};
const SecretStore::Kind SecretStore::EncryptionKey {
    "location server encryption key", SettingKeys::ShareEncryptionKey, "the encryption key"};

namespace {

// The settings file keeps the secret only where the user agreed; a store that works again
// takes it out of there.
void forgetFileCopy(Settings::Store &settings, const SettingKeys::TextKey &key)
{
    try {
        if (!settings.get(key).isEmpty())
            settings.save(key, QString());
    } catch (const Failure &) {
        // An unreadable store holds no copy that could be read either.
    }
}

} // namespace

SecretStore::SecretStore(Dialogs *dialogs, Settings::Store &settings, QObject *parent,
                         const Kind &kind)
    : QObject(parent), m_dialogs(dialogs), m_settings(settings), m_kind(kind)
{ }

void SecretStore::read(Answer done)
{
    // Answered once: by the store, or by the bound on a prompt nobody answers.
    auto pending = std::make_shared<Answer>(std::move(done));
    const auto answer = [pending](const std::optional<QString> &secret) {
        if (Answer done = std::exchange(*pending, nullptr))
            done(secret);
    };
    // A copy in the file was kept while the store did not answer; the store may still hold an
    // older one.
    QString inFile;
    try {
        inFile = m_settings.get(m_kind.fileKey);
    } catch (const Failure &) { }
    if (!inFile.isEmpty()) {
        QTimer::singleShot(0, this, [answer, inFile] { answer(inFile); });
        return;
    }
    QTimer::singleShot(ReadBoundMs, this, [answer] { answer(std::nullopt); });
    // Jobs have no parent and delete themselves once answered: the store's library answers a job
    // it was given even after its owner is gone, and a job deleted before then would be used
    // after it was freed. Gone first, this object hears nothing.
    auto *job = new QKeychain::ReadPasswordJob(QString::fromLatin1(Service));
    job->setKey(QString::fromLatin1(m_kind.entry));
    connect(job, &QKeychain::Job::finished, this, [this, job, answer] {
        switch (job->error()) {
        case QKeychain::NoError:
            answer(job->textData());
            return;
        case QKeychain::AccessDenied:
        case QKeychain::AccessDeniedByUser:
            answer(std::nullopt);
            return;
        default:
            // "Not found" is also what a locked store says once its unlock prompt is dismissed.
            askWhetherKept(answer);
        }
    });
    job->start();
}

// Whether the Secret Service holds the entry at all, locked or not: it tells so without a prompt.
void SecretStore::askWhetherKept(const Answer &answer)
{
    static const bool registered = [] {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        return true;
    }();
    Q_UNUSED(registered);
    QDBusMessage search = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    // The attributes the keychain library files the entry under.
    search << QVariant::fromValue(
        QMap<QString, QString> {{QStringLiteral("user"), QString::fromLatin1(m_kind.entry)},
                                {QStringLiteral("server"), QString::fromLatin1(Service)}});
    auto *watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(search, ReadBoundMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, answer] {
        watcher->deleteLater();
        const QDBusPendingReply<QList<QDBusObjectPath>, QList<QDBusObjectPath>> reply = *watcher;
        if (reply.isError()) {
            // No store runs: none holds a secret of ours.
            const QDBusError::ErrorType type = reply.error().type();
            answer(type == QDBusError::ServiceUnknown || type == QDBusError::Disconnected
                       ? std::optional<QString>(QString())
                       : std::nullopt);
            return;
        }
        if (reply.argumentAt<0>().isEmpty() && reply.argumentAt<1>().isEmpty())
            answer(QString());
        else
            answer(std::nullopt);
    });
}

void SecretStore::write(const QString &secret, std::function<void(bool)> done)
{
    QKeychain::Job *job = nullptr;
    if (secret.isEmpty()) {
        job = new QKeychain::DeletePasswordJob(QString::fromLatin1(Service));
    } else {
        auto *write = new QKeychain::WritePasswordJob(QString::fromLatin1(Service));
        write->setTextData(secret);
        job = write;
    }
    job->setKey(QString::fromLatin1(m_kind.entry));
    connect(job, &QKeychain::Job::finished, this, [this, job, secret, done = std::move(done)] {
        // A secret cleared is gone from wherever it was, the store answering or not.
        if (job->error() == QKeychain::NoError || secret.isEmpty()) {
            forgetFileCopy(m_settings, m_kind.fileKey);
            done(true);
            return;
        }
        keepInFile(secret, job->errorString(), done);
    });
    job->start();
}

void SecretStore::keepInFile(const QString &secret, const QString &why,
                             const std::function<void(bool)> &done)
{
    // The store's own words say why it did not answer; they never hold the secret.
    const QString question
        = QStringLiteral("The desktop's secret store did not answer (%1), so %2 cannot be kept "
                         "there. Keep it in Trovanel's settings file instead, which only you can "
                         "read? No: it is not kept, and sharing stays as it was.")
              .arg(why.trimmed().isEmpty() ? QStringLiteral("no store runs") : why.trimmed(),
                   QString::fromLatin1(m_kind.words));
    if (!m_dialogs->askYesNo(question)) {
        done(false);
        return;
    }
    try {
        m_settings.save(m_kind.fileKey, secret);
    } catch (const Failure &failure) {
        ErrorReport::report({QStringLiteral("SecretStore"), QStringLiteral("keepInFile"), 100,
                             failure.description()});
        done(false);
        return;
    }
    done(true);
}
