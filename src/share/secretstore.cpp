#include "share/secretstore.h"

#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "settings/settingsstore.h"

#include <qt6keychain/keychain.h>

namespace {

// One entry: the server's password or token, whichever transport is chosen.
const QString Entry = QStringLiteral("location server");

// The settings file keeps the secret only where the user agreed; a store that works again
// takes it out of there.
void forgetFileCopy()
{
    try {
        if (!Settings::get(SettingKeys::ShareSecret).isEmpty())
            Settings::save(SettingKeys::ShareSecret, QString());
    } catch (const Failure &) {
        // An unreadable store holds no copy that could be read either.
    }
}

} // namespace

SecretStore::SecretStore(Dialogs *dialogs, QObject *parent)
    : QObject(parent), m_dialogs(dialogs) { }

void SecretStore::read(std::function<void(const QString &)> done)
{
    // Jobs have no parent and delete themselves once answered: the store's library answers a job
    // it was given even after its owner is gone, and a job deleted before then would be used
    // after it was freed. Gone first, this object hears nothing.
    auto *job = new QKeychain::ReadPasswordJob(QString::fromLatin1(Service));
    job->setKey(Entry);
    connect(job, &QKeychain::Job::finished, this, [job, done = std::move(done)] {
        if (job->error() == QKeychain::NoError) {
            done(job->textData());
            return;
        }
        // No store, or none kept there: the copy the user agreed to keep in the file, if any.
        QString kept;
        try {
            kept = Settings::get(SettingKeys::ShareSecret);
        } catch (const Failure &) { }
        done(kept);
    });
    job->start();
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
    job->setKey(Entry);
    connect(job, &QKeychain::Job::finished, this, [this, job, secret, done = std::move(done)] {
        // A secret cleared is gone from wherever it was, the store answering or not.
        if (job->error() == QKeychain::NoError || secret.isEmpty()) {
            forgetFileCopy();
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
        = QStringLiteral("The desktop's secret store did not answer (%1), so the password or token "
                         "cannot be kept there. Keep it in Trovanel's settings file instead, "
                         "which only you can read? No: it is not kept, and sharing stays as it "
                         "was.")
              .arg(why.trimmed().isEmpty() ? QStringLiteral("no store runs") : why.trimmed());
    if (!m_dialogs->askYesNo(question)) {
        done(false);
        return;
    }
    try {
        Settings::save(SettingKeys::ShareSecret, secret);
    } catch (const Failure &failure) {
        ErrorReport::report({QStringLiteral("SecretStore"), QStringLiteral("keepInFile"), 100,
                             failure.description()});
        done(false);
        return;
    }
    done(true);
}
