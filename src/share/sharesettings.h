#pragma once

#include <QString>

// Where and how each log is shared: the user's own location server, over HTTP or MQTT. The
// secret (a password or a token) is kept apart from the rest, in the desktop's secret store.
struct ShareSettings
{
    enum class Mode { Off, Http, Mqtt };
    enum class Auth { None, Basic, Token };

    Mode mode = Mode::Off;
    // HTTP
    QString url;
    Auth auth = Auth::None;
    QString user; // also the X-Limit-U header; the login name when empty
    QString device; // the X-Limit-D header; the host name when empty
    bool topicInBody = false; // some servers name the device by the message's topic
    // MQTT
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // empty: the system's CA store
    QString topic; // owntracks/<login name>/<host name> when empty
    QString clientId; // the broker holds what the laptop missed under this name
    // Either transport's password or token; never in the settings file unless the user agreed.
    QString secret;

    bool operator==(const ShareSettings &) const = default;
};
