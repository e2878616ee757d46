#include "app/importdialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template<class Widget> Widget *named(Widget *widget, const char *name, const QString &accessible)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(accessible);
    return widget;
}

} // namespace

ImportDialog::ImportDialog(QWidget *parent)
    : QDialog(parent),
      m_files(named(new QPushButton(QStringLiteral("From Files…"), this), "ImportFromFiles",
                    QStringLiteral("From Files…"))),
      m_server(named(new QPushButton(QStringLiteral("From My Server"), this), "ImportFromServer",
                     QStringLiteral("From My Server"))),
      m_address(
          named(new QLineEdit(this), "ImportServerAddress", QStringLiteral("Server address"))),
      m_check(named(new QPushButton(QStringLiteral("Check Server"), this), "ImportCheckServer",
                    QStringLiteral("Check Server"))),
      m_found(named(new QLabel(this), "ImportServerFound", QStringLiteral("Server found"))),
      m_progress(
          named(new QProgressBar(this), "ImportProgress", QStringLiteral("Import progress"))),
      m_progressText(
          named(new QLabel(this), "ImportProgressText", QStringLiteral("Import progress text"))),
      m_cancel(named(new QPushButton(QStringLiteral("Cancel"), this), "ImportCancel",
                     QStringLiteral("Cancel the import"))),
      m_outcome(named(new QLabel(this), "ImportOutcome", QStringLiteral("Import outcome"))),
      m_close(named(new QPushButton(QStringLiteral("Close"), this), "ImportClose",
                    QStringLiteral("Close")))
{
    setWindowTitle(QStringLiteral("Import"));
    setObjectName(QStringLiteral("ImportDialog"));
    auto *intro = new QLabel(
        QStringLiteral("Bring logs into the record: tracks from GPX, GeoJSON, KML or CSV files "
                       "and the location server's monthly records, or the logs your own server "
                       "keeps. A log already in the record is not added again."),
        this);
    intro->setWordWrap(true);
    m_found->setWordWrap(true);
    m_found->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_outcome->setWordWrap(true);
    m_outcome->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_address->setPlaceholderText(QStringLiteral("https://host:8083/"));

    auto *server = new QHBoxLayout;
    auto *addressLabel = new QLabel(QStringLiteral("Server &address:"), this);
    addressLabel->setBuddy(m_address);
    server->addWidget(addressLabel);
    server->addWidget(m_address, 1);
    server->addWidget(m_check);
    server->addWidget(m_server);

    auto *running = new QHBoxLayout;
    running->addWidget(m_progress, 1);
    running->addWidget(m_cancel);

    auto *closing = new QHBoxLayout;
    closing->addStretch(1);
    closing->addWidget(m_close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_files, 0, Qt::AlignLeft);
    layout->addLayout(server);
    layout->addWidget(m_found);
    layout->addLayout(running);
    layout->addWidget(m_progressText);
    layout->addWidget(m_outcome);
    layout->addLayout(closing);
    setTabOrder(m_files, m_address);
    setTabOrder(m_address, m_check);
    setTabOrder(m_check, m_server);
    setTabOrder(m_server, m_cancel);
    setTabOrder(m_cancel, m_close);

    connect(m_files, &QPushButton::clicked, this, &ImportDialog::filesRequested);
    connect(m_server, &QPushButton::clicked, this,
            [this] { Q_EMIT serverRequested(m_address->text().trimmed()); });
    connect(m_check, &QPushButton::clicked, this,
            [this] { Q_EMIT checkRequested(m_address->text().trimmed()); });
    connect(m_cancel, &QPushButton::clicked, this, &ImportDialog::cancelRequested);
    connect(m_close, &QPushButton::clicked, this, &ImportDialog::reject);
    setRunning(false);
    resize(560, sizeHint().height());
}

void ImportDialog::setServerAddress(const QString &address)
{
    m_address->setText(address);
}

QString ImportDialog::serverAddress() const
{
    return m_address->text().trimmed();
}

void ImportDialog::showServer(const QString &text)
{
    m_found->setText(text);
}

void ImportDialog::showRunning(int percent, const QString &text)
{
    setRunning(true);
    // Unknown: the bar moves without saying how far.
    if (percent < 0) {
        m_progress->setRange(0, 0);
    } else {
        m_progress->setRange(0, 100);
        m_progress->setValue(percent);
    }
    m_progressText->setText(text);
}

void ImportDialog::showOutcome(bool ok, const QString &text)
{
    setRunning(false);
    m_outcome->setText(ok ? text : QStringLiteral("Nothing was imported. %1").arg(text));
}

void ImportDialog::setRunning(bool running)
{
    m_running = running;
    m_files->setEnabled(!running);
    m_server->setEnabled(!running);
    m_check->setEnabled(!running);
    m_address->setEnabled(!running);
    m_progress->setVisible(running);
    m_progressText->setVisible(running);
    m_cancel->setVisible(running);
    if (running) {
        m_outcome->clear();
        m_cancel->setFocus();
    }
}

// Closing while an import runs cancels it: nothing half-read joins the record.
void ImportDialog::reject()
{
    if (m_running)
        Q_EMIT cancelRequested();
    QDialog::reject();
}
