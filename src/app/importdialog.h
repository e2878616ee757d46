#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>

// "Import…": the record comes back, from track files ("From Files…") or from the user's own
// server ("From My Server", at the address worked out from Share Logs…, which the user may
// change). While an import runs, a progress bar and Cancel; when it is over, what it brought.
class ImportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ImportDialog(QWidget *parent);

    void setServerAddress(const QString &address);
    QString serverAddress() const;
    // What the address was found to be ("Found an OwnTracks recorder at …"), or why it cannot
    // be read.
    void showServer(const QString &text);

    // An import started: the buttons wait, the bar and Cancel show.
    void showRunning(int percent, const QString &text);
    // It is over: its summary, or why nothing was imported.
    void showOutcome(bool ok, const QString &text);

Q_SIGNALS:
    void filesRequested();
    void serverRequested(const QString &address);
    void checkRequested(const QString &address);
    void cancelRequested();

private:
    void setRunning(bool running);
    void reject() override;

    QPushButton *m_files;
    QPushButton *m_server;
    QLineEdit *m_address;
    QPushButton *m_check;
    QLabel *m_found;
    QProgressBar *m_progress;
    QLabel *m_progressText;
    QPushButton *m_cancel;
    QLabel *m_outcome;
    QPushButton *m_close;
    bool m_running = false;
};
