#pragma once

#include "share/sharequeue.h"
#include "share/sharesettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

// "Share Logs…": where each log goes besides the table, the user's own location server over
// HTTP or MQTT, with only the fields of the chosen way shown. "Send Test" sends one message
// with the fields as they stand and tells what happened in plain words; OK hands the choices
// over, the window keeps them. The logs the server would not take are listed with its words, to
// be sent again or discarded.
class ShareDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ShareDialog(QWidget *parent);

    void setSettings(const ShareSettings &settings);
    ShareSettings settings() const;
    // What the test message met, in plain words.
    void showTestOutcome(bool delivered, const QString &words);
    // The logs the server would not take, each with its words; the rows show only while any are.
    void showSetAside(const QList<ShareQueue::SetAside> &messages);
    // The server's last request and what became of it; empty before the first.
    void showLastRequest(const QString &words);

Q_SIGNALS:
    void testRequested(const ShareSettings &settings);
    void chosen(const ShareSettings &settings);
    void sendAgainRequested(qint64 id);
    void discardRequested(qint64 id);

private:
    void showFieldsOfMode();
    void chooseCaFile();
    // Why the fields cannot be used as they stand; empty when they can.
    QString problem() const;
    void done(int result) override;

    QFormLayout *m_form;
    QComboBox *m_mode;
    QLineEdit *m_url;
    QComboBox *m_auth;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QCheckBox *m_tls;
    QLineEdit *m_caFile;
    QPushButton *m_chooseCa;
    QHBoxLayout *m_caRow;
    QLineEdit *m_user;
    QLineEdit *m_secret;
    QLineEdit *m_device;
    QCheckBox *m_topicInBody;
    QLineEdit *m_topic;
    QLineEdit *m_clientId;
    QLineEdit *m_key;
    QCheckBox *m_commands;
    QLabel *m_lastRequest;
    QPushButton *m_test;
    QLabel *m_outcome;
    QListWidget *m_setAside;
    QPushButton *m_sendAgain;
    QPushButton *m_discard;
    QHBoxLayout *m_setAsideButtons;
};
