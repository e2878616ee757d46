#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class Dialogs;
class ImportDialog;
class ImportJob;
class KeptResults;
class QPushButton;
class QWidget;
class ResultsList;
class RestoreClient;
class Sharing;
class StartupOptions;

// "Import…" beside "Share Logs…": brings the record back from track files or from the user's
// own server, through the dialog or from the command line. One import runs at a time.
class ImportAction : public QObject
{
    Q_OBJECT

public:
    ImportAction(QWidget *window, ResultsList *results, KeptResults *kept, Sharing *sharing,
                 StartupOptions *options, Dialogs *dialogs);
    ~ImportAction() override;

    QPushButton *button() const { return m_button; }
    ImportJob *job() const { return m_job; }
    // The dialog, once the button made it.
    ImportDialog *dialog() const { return m_dialog; }

    // As the dialog's buttons, for `trovanel --import` and `--restore`: answer(ok, text) once
    // it is over, with the summary or why nothing was imported.
    using Answer = std::function<void(bool ok, const QString &text)>;
    void importFiles(const QStringList &files, Answer answer);
    void restore(Answer answer);

private:
    void openDialog();
    void chooseFiles();
    void fromServer(const QString &address);
    void checkServer(const QString &address);
    // With results not kept, offers to keep them, so that what comes in stays.
    void offerKeeping();
    bool start(Answer answer);
    // The server set in Share Logs…, or at the address the user gave instead; why not, if not.
    bool serverAt(const QString &address, QString *why);

    QWidget *m_window;
    Sharing *m_sharing;
    StartupOptions *m_options;
    Dialogs *m_dialogs;
    QPushButton *m_button;
    RestoreClient *m_client;
    ImportJob *m_job;
    ImportDialog *m_dialog = nullptr;
    Answer m_answer;
};
