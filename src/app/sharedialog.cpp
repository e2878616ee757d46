#include "app/sharedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <optional>

namespace {

// An input with the names a test and a screen reader find it by.
template<class T> T *named(T *widget, const char *objectName, const QString &accessibleName)
{
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(accessibleName);
    return widget;
}

QLineEdit *line(const char *objectName, const QString &accessibleName, QWidget *parent)
{
    return named(new QLineEdit(parent), objectName, accessibleName);
}

} // namespace

ShareDialog::ShareDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShareDialog"));
    setWindowTitle(QStringLiteral("Share Logs"));
    m_form = new QFormLayout(this);

    m_mode = named(new QComboBox(this), "ShareMode", QStringLiteral("Share logs"));
    m_mode->addItems({QStringLiteral("Off"), QStringLiteral("HTTP"), QStringLiteral("MQTT")});
    m_url = line("ShareUrl", QStringLiteral("Server address"), this);
    m_url->setPlaceholderText(QStringLiteral("https://example.org/owntracks"));
    m_auth = named(new QComboBox(this), "ShareAuth", QStringLiteral("Authentication"));
    m_auth->addItems({QStringLiteral("None"), QStringLiteral("User name and password"),
                      QStringLiteral("Token")});
    m_host = line("ShareHost", QStringLiteral("Broker host"), this);
    m_port = named(new QSpinBox(this), "SharePort", QStringLiteral("Broker port"));
    m_port->setRange(1, 65535);
    m_tls = named(new QCheckBox(QStringLiteral("TLS"), this), "ShareTls", QStringLiteral("TLS"));
    m_caFile = line("ShareCaFile", QStringLiteral("CA file"), this);
    m_caFile->setPlaceholderText(QStringLiteral("the system's CA store"));
    m_chooseCa = named(new QPushButton(QStringLiteral("Choose…"), this), "ShareChooseCa",
                       QStringLiteral("Choose the CA file"));
    m_user = line("ShareUser", QStringLiteral("User name"), this);
    m_secret = line("ShareSecret", QStringLiteral("Password or token"), this);
    m_secret->setEchoMode(QLineEdit::Password);
    m_device = line("ShareDevice", QStringLiteral("Device name"), this);
    m_topicInBody = named(new QCheckBox(QStringLiteral("Add the topic to each message"), this),
                          "ShareTopicInBody", QStringLiteral("Add the topic to each message"));
    m_topic = line("ShareTopic", QStringLiteral("Topic"), this);
    m_clientId = line("ShareClientId", QStringLiteral("Client id"), this);
    m_clientId->setPlaceholderText(QStringLiteral("chosen by Trovanel"));
    m_key = line("ShareEncryptionKey", QStringLiteral("Encryption key"), this);
    m_key->setEchoMode(QLineEdit::Password);
    m_key->setPlaceholderText(QStringLiteral("none: messages go as they are"));
    m_commands
        = named(new QCheckBox(QStringLiteral("Answer my server's requests for a position"), this),
                "ShareCommands", QStringLiteral("Answer my server's requests for a position"));
    m_lastRequest
        = named(new QLabel(this), "ShareLastRequest", QStringLiteral("The server's last request"));
    m_lastRequest->setWordWrap(true);
    m_test = named(new QPushButton(QStringLiteral("Send Test"), this), "ShareTest",
                   QStringLiteral("Send Test"));
    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("ShareOutcome"));
    m_outcome->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                         Qt::Horizontal, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ShareOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ShareCancel"));

    m_caRow = new QHBoxLayout;
    m_caRow->addWidget(m_caFile, 1);
    m_caRow->addWidget(m_chooseCa);
    m_form->addRow(QStringLiteral("Share logs:"), m_mode);
    m_form->addRow(QStringLiteral("Server address:"), m_url);
    m_form->addRow(QStringLiteral("Authentication:"), m_auth);
    m_form->addRow(QStringLiteral("Broker host:"), m_host);
    m_form->addRow(QStringLiteral("Port:"), m_port);
    m_form->addRow(QString(), m_tls);
    m_form->addRow(QStringLiteral("CA file:"), m_caRow);
    m_form->addRow(QStringLiteral("User name:"), m_user);
    m_form->addRow(QStringLiteral("Password:"), m_secret);
    m_form->addRow(QStringLiteral("Device name:"), m_device);
    m_form->addRow(QString(), m_topicInBody);
    m_form->addRow(QStringLiteral("Topic:"), m_topic);
    m_form->addRow(QStringLiteral("Client id:"), m_clientId);
    m_form->addRow(QStringLiteral("Encryption key:"), m_key);
    m_form->addRow(QString(), m_commands);
    m_form->addRow(QStringLiteral("Last request:"), m_lastRequest);
    m_form->addRow(m_test, m_outcome);
    m_setAside = named(new QListWidget(this), "ShareSetAside",
                       QStringLiteral("Logs the server would not take"));
    m_sendAgain = named(new QPushButton(QStringLiteral("Send Again"), this), "ShareSendAgain",
                        QStringLiteral("Send the chosen log again"));
    m_discard = named(new QPushButton(QStringLiteral("Discard"), this), "ShareDiscard",
                      QStringLiteral("Discard the chosen log"));
    m_setAsideButtons = new QHBoxLayout;
    m_setAsideButtons->addWidget(m_sendAgain);
    m_setAsideButtons->addWidget(m_discard);
    m_setAsideButtons->addStretch(1);
    m_form->addRow(QStringLiteral("Not taken:"), m_setAside);
    m_form->addRow(QString(), m_setAsideButtons);
    m_form->addRow(buttons);
    // The keyboard follows the form, row by row.
    const QList<QWidget *> order {m_mode,
                                  m_url,
                                  m_auth,
                                  m_host,
                                  m_port,
                                  m_tls,
                                  m_caFile,
                                  m_chooseCa,
                                  m_user,
                                  m_secret,
                                  m_device,
                                  m_topicInBody,
                                  m_topic,
                                  m_clientId,
                                  m_key,
                                  m_commands,
                                  m_test,
                                  buttons->button(QDialogButtonBox::Ok),
                                  buttons->button(QDialogButtonBox::Cancel)};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    // The logs the server would not take come between the test and the dialog's buttons.
    const QList<QWidget *> setAsideOrder {m_test, m_setAside, m_sendAgain, m_discard,
                                          buttons->button(QDialogButtonBox::Ok)};
    for (qsizetype i = 1; i < setAsideOrder.size(); ++i)
        setTabOrder(setAsideOrder[i - 1], setAsideOrder[i]);
    setTabOrder(buttons->button(QDialogButtonBox::Ok), buttons->button(QDialogButtonBox::Cancel));
    const auto chosenId = [this] {
        const QListWidgetItem *item = m_setAside->currentItem();
        return item ? std::optional(item->data(Qt::UserRole).toLongLong()) : std::nullopt;
    };
    connect(m_sendAgain, &QPushButton::clicked, this, [this, chosenId] {
        if (const std::optional<qint64> id = chosenId())
            Q_EMIT sendAgainRequested(*id);
    });
    connect(m_discard, &QPushButton::clicked, this, [this, chosenId] {
        if (const std::optional<qint64> id = chosenId())
            Q_EMIT discardRequested(*id);
    });
    connect(m_setAside, &QListWidget::currentRowChanged, this, [this](int row) {
        m_sendAgain->setEnabled(row >= 0);
        m_discard->setEnabled(row >= 0);
    });
    showSetAside({});

    connect(m_mode, &QComboBox::currentIndexChanged, this, &ShareDialog::showFieldsOfMode);
    connect(m_auth, &QComboBox::currentIndexChanged, this, &ShareDialog::showFieldsOfMode);
    connect(m_tls, &QCheckBox::toggled, this, &ShareDialog::showFieldsOfMode);
    connect(m_topicInBody, &QCheckBox::toggled, this, &ShareDialog::showFieldsOfMode);
    // An untyped topic follows the user name: the broker grants each user a branch of their own.
    const auto showDefaultTopic = [this] {
        m_topic->setPlaceholderText(settings().defaultTopic());
    };
    connect(m_user, &QLineEdit::textChanged, this, showDefaultTopic);
    connect(m_device, &QLineEdit::textChanged, this, showDefaultTopic);
    connect(m_chooseCa, &QPushButton::clicked, this, &ShareDialog::chooseCaFile);
    connect(m_test, &QPushButton::clicked, this, [this] {
        if (const QString why = problem(); !why.isEmpty()) {
            m_outcome->setText(why);
            return;
        }
        m_outcome->setText(QStringLiteral("Sending…"));
        Q_EMIT testRequested(settings());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setSettings({});
}

void ShareDialog::setSettings(const ShareSettings &s)
{
    m_mode->setCurrentIndex(int(s.mode));
    m_url->setText(s.url);
    m_auth->setCurrentIndex(int(s.auth));
    m_host->setText(s.host);
    m_port->setValue(s.port);
    m_tls->setChecked(s.tls);
    m_caFile->setText(s.caFile);
    // Unnamed, they stand for the login and the laptop: shown so, and kept so once confirmed.
    m_user->setText(s.userName());
    m_secret->setText(s.secret);
    m_device->setText(s.deviceName());
    m_topicInBody->setChecked(s.topicInBody);
    m_topic->setText(s.topic);
    m_clientId->setText(s.clientId);
    m_key->setText(s.encryptionKey);
    m_commands->setChecked(s.commands);
    m_outcome->clear();
    showFieldsOfMode();
}

ShareSettings ShareDialog::settings() const
{
    ShareSettings s;
    s.mode = ShareSettings::Mode(m_mode->currentIndex());
    s.url = m_url->text().trimmed();
    s.auth = ShareSettings::Auth(m_auth->currentIndex());
    s.host = m_host->text().trimmed();
    s.port = m_port->value();
    s.tls = m_tls->isChecked();
    s.caFile = m_caFile->text().trimmed();
    s.user = m_user->text().trimmed();
    s.secret = m_secret->text();
    s.device = m_device->text().trimmed();
    s.topicInBody = m_topicInBody->isChecked();
    s.topic = m_topic->text().trimmed();
    s.clientId = m_clientId->text().trimmed();
    s.encryptionKey = m_key->text();
    s.commands = m_commands->isChecked();
    return s;
}

void ShareDialog::showFieldsOfMode()
{
    const auto mode = ShareSettings::Mode(m_mode->currentIndex());
    const bool http = mode == ShareSettings::Mode::Http;
    const bool mqtt = mode == ShareSettings::Mode::Mqtt;
    const auto auth = ShareSettings::Auth(m_auth->currentIndex());
    const std::pair<QWidget *, bool> rows[] = {
        {m_url, http},
        {m_auth, http},
        {m_host, mqtt},
        {m_port, mqtt},
        {m_tls, mqtt},
        {m_user, http || mqtt},
        {m_secret, mqtt || (http && auth != ShareSettings::Auth::None)},
        {m_device, http},
        {m_topicInBody, http},
        {m_topic, mqtt || (http && m_topicInBody->isChecked())},
        {m_clientId, mqtt},
        {m_key, http || mqtt},
        {m_commands, http || mqtt},
        {m_lastRequest, (http || mqtt) && !m_lastRequest->text().isEmpty()},
        {m_test, http || mqtt},
    };
    for (auto [field, shown] : rows)
        m_form->setRowVisible(field, shown);
    m_form->setRowVisible(m_caRow, mqtt && m_tls->isChecked());
    const bool token = http && auth == ShareSettings::Auth::Token;
    if (auto *label = qobject_cast<QLabel *>(m_form->labelForField(m_secret)))
        label->setText(token ? QStringLiteral("Token:") : QStringLiteral("Password:"));
    m_secret->setAccessibleName(token ? QStringLiteral("Token") : QStringLiteral("Password"));
}

void ShareDialog::chooseCaFile()
{
    const QString file
        = QFileDialog::getOpenFileName(this, QStringLiteral("CA File"), m_caFile->text(),
                                       QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty())
        m_caFile->setText(file);
}

QString ShareDialog::problem() const
{
    return settings().unusable().value_or(QString());
}

void ShareDialog::done(int result)
{
    if (result == Accepted) {
        if (const QString why = problem(); !why.isEmpty()) {
            m_outcome->setText(why);
            return;
        }
        Q_EMIT chosen(settings());
    }
    QDialog::done(result);
}

void ShareDialog::showTestOutcome(bool delivered, const QString &words)
{
    m_outcome->setText(
        delivered
            ? (QStringLiteral("Delivered: the server has the test message. ") + words).trimmed()
            : QStringLiteral("Not delivered: ") + words);
}

void ShareDialog::showSetAside(const QList<ShareQueue::SetAside> &messages)
{
    const int row = m_setAside->currentRow();
    m_setAside->clear();
    for (const ShareQueue::SetAside &message : messages) {
        const QString when = QDateTime::fromSecsSinceEpoch(message.tst)
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        auto *item = new QListWidgetItem(when + QStringLiteral(": ") + message.words, m_setAside);
        item->setData(Qt::UserRole, message.id);
        item->setToolTip(QString::fromUtf8(message.body));
    }
    // The one after the one sent or discarded is chosen next.
    m_setAside->setCurrentRow(messages.isEmpty() ? -1
                                                 : std::clamp(row, 0, int(messages.size()) - 1));
    m_sendAgain->setEnabled(m_setAside->currentRow() >= 0);
    m_discard->setEnabled(m_setAside->currentRow() >= 0);
    m_form->setRowVisible(m_setAside, !messages.isEmpty());
    m_form->setRowVisible(m_setAsideButtons, !messages.isEmpty());
}

void ShareDialog::showLastRequest(const QString &words)
{
    m_lastRequest->setText(words);
    showFieldsOfMode();
}
