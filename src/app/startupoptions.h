#pragma once

#include "settings/startupsettings.h"

#include <QGroupBox>
#include <initializer_list>

class QCheckBox;
namespace Settings {
class Store;
}
namespace SettingKeys {
struct Key;
}

// "Startup Options": whether the program starts with the desktop session, and whether it then
// starts in the tray. Each box is saved the moment it changes; when the session refuses the
// change, both boxes and both settings go back to what is true.
class StartupOptions : public QGroupBox
{
    Q_OBJECT

public:
    // settings: where each box is saved.
    explicit StartupOptions(Settings::Store &settings, QWidget *parent = nullptr);

    // Start-up: the stored choices, shown as they were left. The minimized box saves its value
    // again, as a click would; the start-up box changes nothing in the session.
    void restoreStartup(bool on);
    void restoreMinimized(bool on);
    // Start-up is over: changes are the user's from now on.
    void setRestoring(bool restoring) { m_restoring = restoring; }

    bool startsWithSession() const;
    bool startsMinimized() const;
    // Whether the minimized box is offered (only with the start-up box ticked).
    void offerMinimized(bool offered);

    // "Also log when the network changes": saved when clicked, told whenever it changes.
    void restoreNetworkChange(bool on);
    bool logsNetworkChanges() const;

    QList<QWidget *> focusOrder() const;

    // "Keep results between runs": shown as stored, without telling anyone.
    void restoreKeepResults(bool on);
    bool keepsResults() const;
    // Ticks "Keep results between runs" as the user would: saved and told.
    void chooseKeepResults();

    // "Also ask the system's location service (Wi-Fi)": saved when clicked, told whenever it
    // changes.
    void restoreLocationService(bool on);
    bool usesLocationService() const;

Q_SIGNALS:
    void networkChangeChosen(bool on);
    // The user changed "Keep results between runs"; the setting is saved already.
    void keepResultsChanged(bool on);
    // byUser: clicked, not restored at start-up.
    void locationServiceChosen(bool on, bool byUser);

private:
    void Check4_Click();
    void Check8_Click();
    // The boxes as they are ticked now; the switch is not theirs.
    StartupSettings chosen() const;
    // Stores the named boxes as they are ticked now.
    void save(std::initializer_list<const SettingKeys::Key *> keys) const;

    Settings::Store &m_settings;
    QCheckBox *Check4; // "Load this software on Windows startup"
    QCheckBox *Check8; // "Minimized to system tray"
    QCheckBox *CheckNetworkChange;
    QCheckBox *m_keepResults; // "Keep results between runs"
    QCheckBox *m_useLocation; // "Also ask the system's location service (Wi-Fi)"
    bool m_restoring = false;
};
