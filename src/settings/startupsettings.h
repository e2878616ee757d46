#pragma once

#include <QString>

// The switch and the start-up options as the settings file keeps them, with a first run's
// values (the keys' defaults).
struct StartupSettings
{
    // "On", "Off", or for any other text the switch left as the window starts it.
    QString switchState = QStringLiteral("On");
    bool sessionStart = false; // "Load this software on Windows startup"
    bool minimized = false; // "Minimized to system tray"
    bool networkChange = false; // "Also log when the network changes"
    bool keepResults = false; // "Keep results between runs"
    bool locationService = false; // "Also ask the system's location service (Wi-Fi)"

    bool operator==(const StartupSettings &) const = default;
};
