#include "app/startupoptions.h"

#include "core/errorreport.h"
#include "desktop/mstartup.h"
#include "settings/storedstartupsettings.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

StartupOptions::StartupOptions(Settings::Store &settings, QWidget *parent)
    : QGroupBox(QStringLiteral("Startup Options"), parent),
      m_settings(settings),
      Check4(new QCheckBox(QStringLiteral("Load this software on Windows startup"), this)),
      Check8(new QCheckBox(QStringLiteral("Minimized to system tray"), this)),
      CheckNetworkChange(new QCheckBox(QStringLiteral("Also log when the network changes"), this)),
      m_keepResults(new QCheckBox(QStringLiteral("Keep results between runs"), this)),
      m_useLocation(
          new QCheckBox(QStringLiteral("Also ask the system's location service (Wi-Fi)"), this))
{
    setObjectName(QStringLiteral("Frame2"));
    Check4->setObjectName(QStringLiteral("Check4"));
    Check8->setObjectName(QStringLiteral("Check8"));
    Check8->setVisible(false);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Check4);
    layout->addWidget(Check8);
    CheckNetworkChange->setObjectName(QStringLiteral("CheckNetworkChange"));
    CheckNetworkChange->setAccessibleName(CheckNetworkChange->text());
    layout->addWidget(CheckNetworkChange);
    connect(CheckNetworkChange, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_restoring) {
            StepRunner steps(QStringLiteral("Form1"), QStringLiteral("CheckNetworkChange_Click"));
            steps.step(100, [&] { save({&SettingKeys::LogOnNetworkChange}); });
        }
        Q_EMIT networkChangeChosen(on);
    });
    m_keepResults->setObjectName(QStringLiteral("KeepResults"));
    m_keepResults->setAccessibleName(m_keepResults->text());
    layout->addWidget(m_keepResults);
    connect(m_keepResults, &QCheckBox::toggled, this, [this](bool on) {
        StepRunner steps(QStringLiteral("Form1"), QStringLiteral("KeepResults_Click"));
        steps.step(100, [&] { save({&SettingKeys::KeepResults}); });
        Q_EMIT keepResultsChanged(on);
    });
    m_useLocation->setObjectName(QStringLiteral("UseLocationService"));
    m_useLocation->setAccessibleName(m_useLocation->text());
    layout->addWidget(m_useLocation);
    connect(m_useLocation, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_restoring) {
            StepRunner steps(QStringLiteral("Form1"), QStringLiteral("UseLocationService_Click"));
            steps.step(100, [&] { save({&SettingKeys::UseLocationService}); });
        }
        Q_EMIT locationServiceChosen(on, !m_restoring);
    });
    connect(Check4, &QCheckBox::toggled, this, &StartupOptions::Check4_Click);
    connect(Check8, &QCheckBox::toggled, this, &StartupOptions::Check8_Click);
}

void StartupOptions::restoreStartup(bool on)
{
    Check4->setChecked(on);
}

void StartupOptions::restoreMinimized(bool on)
{
    // The box's own handler stores the value again, as a click would.
    if (Check8->isChecked() == on)
        Check8_Click();
    Check8->setChecked(on);
}

bool StartupOptions::startsWithSession() const
{
    return Check4->isChecked();
}

bool StartupOptions::startsMinimized() const
{
    return Check8->isChecked();
}

void StartupOptions::offerMinimized(bool offered)
{
    Check8->setVisible(offered);
}

void StartupOptions::restoreNetworkChange(bool on)
{
    CheckNetworkChange->setChecked(on);
}

bool StartupOptions::logsNetworkChanges() const
{
    return CheckNetworkChange->isChecked();
}

QList<QWidget *> StartupOptions::focusOrder() const
{
    return {Check4, Check8, CheckNetworkChange, m_keepResults, m_useLocation};
}

void StartupOptions::restoreKeepResults(bool on)
{
    const QSignalBlocker quiet(m_keepResults);
    m_keepResults->setChecked(on);
}

bool StartupOptions::keepsResults() const
{
    return m_keepResults->isChecked();
}

void StartupOptions::restoreLocationService(bool on)
{
    m_useLocation->setChecked(on);
}

bool StartupOptions::usesLocationService() const
{
    return m_useLocation->isChecked();
}

void StartupOptions::Check4_Click()
{
    if (m_restoring)
        return;
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Check4_Click"));
    const bool on = Check4->isChecked();
    const bool wasMinimized = Check8->isChecked();
    if (on) {
        Check8->setVisible(true);
        steps.step(100, [&] { save({&SettingKeys::WindowsStartup}); });
    } else {
        // Clearing the box runs its own handler, which stores "Off".
        Check8->setChecked(false);
        Check8->setVisible(false);
        steps.step(102, [&] { save({&SettingKeys::WindowsStartup}); });
    }
    const bool registered = steps.step(104, [&] {
        if (on)
            mStartUp::AddToStartup();
        else
            mStartUp::RemoveFromStartup();
    });
    if (registered)
        return;
    // The session did not take the change: both boxes and both settings go back to what is
    // true.
    const QSignalBlocker blockStartup(Check4);
    const QSignalBlocker blockMinimized(Check8);
    Check4->setChecked(!on);
    Check8->setVisible(!on);
    Check8->setChecked(wasMinimized);
    steps.step(106, [&] { save({&SettingKeys::WindowsStartup, &SettingKeys::Minimized}); });
}

void StartupOptions::Check8_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Check8_Click"));
    steps.step(100, [&] { save({&SettingKeys::Minimized}); });
}

StartupSettings StartupOptions::chosen() const
{
    StartupSettings chosen;
    chosen.sessionStart = Check4->isChecked();
    chosen.minimized = Check8->isChecked();
    chosen.networkChange = CheckNetworkChange->isChecked();
    chosen.keepResults = m_keepResults->isChecked();
    chosen.locationService = m_useLocation->isChecked();
    return chosen;
}

void StartupOptions::save(std::initializer_list<const SettingKeys::Key *> keys) const
{
    StoredStartupSettings::write(m_settings, chosen(), keys);
}

void StartupOptions::chooseKeepResults()
{
    m_keepResults->setChecked(true);
}
