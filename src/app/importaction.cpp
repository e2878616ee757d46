#include "app/importaction.h"

#include "app/importdialog.h"
#include "app/importjob.h"
#include "app/look.h"
#include "app/sharing.h"
#include "app/startupoptions.h"
#include "core/dialogs.h"
#include "share/restoreclient.h"

#include <QPushButton>

ImportAction::ImportAction(QWidget *window, ResultsList *results, KeptResults *kept,
                           Sharing *sharing, StartupOptions *options, Dialogs *dialogs)
    : QObject(window),
      m_window(window),
      m_sharing(sharing),
      m_options(options),
      m_dialogs(dialogs),
      m_button(NamedButton(QStringLiteral("PushButtonImport"), QStringLiteral("Import…"), window)),
      m_client(new RestoreClient(this)),
      m_job(new ImportJob(results, kept, m_client, this))
{
    connect(m_button, &QPushButton::clicked, this, &ImportAction::openDialog);
    connect(m_job, &ImportJob::progress, this, [this](int percent, const QString &text) {
        if (m_dialog && m_job->isBusy())
            m_dialog->showRunning(percent, text);
    });
    connect(m_job, &ImportJob::finished, this, [this](bool ok, const QString &text) {
        if (m_dialog)
            m_dialog->showOutcome(ok, text);
        if (const Answer answer = std::exchange(m_answer, {}))
            answer(ok, text);
    });
    connect(m_client, &RestoreClient::probed, this, [this](RestoreKind, const QString &text) {
        if (m_dialog)
            m_dialog->showServer(text);
    });
}

ImportAction::~ImportAction() = default;

void ImportAction::openDialog()
{
    if (!m_dialog) {
        m_dialog = new ImportDialog(m_window);
        connect(m_dialog, &ImportDialog::filesRequested, this, &ImportAction::chooseFiles);
        connect(m_dialog, &ImportDialog::serverRequested, this, &ImportAction::fromServer);
        connect(m_dialog, &ImportDialog::checkRequested, this, &ImportAction::checkServer);
        connect(m_dialog, &ImportDialog::cancelRequested, m_job, &ImportJob::cancel);
    }
    if (!m_job->isBusy())
        m_dialog->setServerAddress(RestoreAddress::fromSettings(m_sharing->currentSettings()).base);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void ImportAction::offerKeeping()
{
    if (m_options->keepsResults())
        return;
    if (m_dialogs->askYesNo(QStringLiteral(
            "Results are not kept between runs, so what you import would be gone when Trovanel "
            "ends. Keep results between runs?\n\nNo imports them for this run only.")))
        m_options->chooseKeepResults();
}

bool ImportAction::start(Answer answer)
{
    if (m_job->isBusy()) {
        if (answer)
            answer(false, QStringLiteral("An import is already running."));
        return false;
    }
    m_answer = std::move(answer);
    return true;
}

void ImportAction::chooseFiles()
{
    const QStringList files = m_dialogs->askOpenFiles(
        QStringLiteral("Import Tracks"),
        {QStringLiteral("Tracks (*.gpx *.geojson *.json *.kml *.csv *.rec)"),
         QStringLiteral("All files (*)")});
    if (files.isEmpty() || !start({}))
        return;
    offerKeeping();
    m_job->importFiles(files);
}

void ImportAction::importFiles(const QStringList &files, Answer answer)
{
    if (start(std::move(answer)))
        m_job->importFiles(files);
}

bool ImportAction::serverAt(const QString &address, QString *why)
{
    RestoreAddress at = RestoreAddress::fromSettings(m_sharing->currentSettings());
    if (!address.isEmpty())
        at = at.at(address);
    if (const std::optional<QString> unusable = at.unusable()) {
        *why = *unusable;
        return false;
    }
    m_client->setAddress(at);
    return true;
}

void ImportAction::checkServer(const QString &address)
{
    QString why;
    if (m_job->isBusy())
        return;
    if (!serverAt(address, &why)) {
        m_dialog->showServer(why);
        return;
    }
    m_dialog->showServer(QStringLiteral("Asking the server…"));
    m_client->probe();
}

void ImportAction::fromServer(const QString &address)
{
    QString why;
    if (!start({}))
        return;
    if (!serverAt(address, &why)) {
        m_dialog->showOutcome(false, why);
        return;
    }
    offerKeeping();
    m_job->restore(m_client->address());
}

void ImportAction::restore(Answer answer)
{
    QString why;
    if (!start(std::move(answer)))
        return;
    if (!serverAt({}, &why)) {
        if (const Answer told = std::exchange(m_answer, {}))
            told(false, why);
        return;
    }
    m_job->restore(m_client->address());
}
