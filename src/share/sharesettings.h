#pragma once

#include <QString>
#include <optional>

// Where and how each log is shared: the user's own location server, over HTTP or MQTT. The
// secret (a password or a token) is kept apart from the rest, in the desktop's secret store.
struct ShareSettings
{
    enum class Mode { Off, Http, Mqtt };
    enum class Auth { None, Basic, Token };

    static constexpr int DefaultPort = 1883; // MQTT without TLS

    Mode mode = Mode::Off;
    // HTTP
    QString url;
    Auth auth = Auth::None;
    QString user; // also the X-Limit-U header and the MQTT login; the login name when empty
    QString device; // the X-Limit-D header; the host name when empty
    bool topicInBody = false; // some servers name the device by the message's topic
    // MQTT
    QString host;
    int port = DefaultPort;
    bool tls = false;
    QString caFile; // empty: the system's CA store
    QString topic; // defaultTopic() when empty
    QString clientId; // the broker holds what the laptop missed under this name
    // Either transport's password or token; never in the settings file unless the user agreed.
    QString secret;
    // The server may ask for a log: over MQTT on <topic>/cmd, over HTTP in its answer to a post.
    bool commands = false;
    // With one, every message goes sealed with it, and requests must come sealed with it; kept
    // as the secret is.
    QString encryptionKey;

    bool operator==(const ShareSettings &) const = default;

    // The user and the device as the server knows them: as given, the login name and the host
    // name standing in for those left empty.
    QString userName() const;
    QString deviceName() const;
    // owntracks/<user>/<device>: brokers grant each user a branch of their own, so the user name
    // leads.
    QString defaultTopic() const;
    static QString defaultClientId(); // trovanel-<host name>
    static QString loginName();
    static QString hostName();

    // Whether host names this computer itself: only there may a password cross in clear. Only
    // what is surely this computer counts; a name that merely starts like it does not.
    static bool isLoopback(const QString &host);
    // Why the settings of the chosen way cannot be used, in the user's words; nothing when they
    // can. The window's dialog and each transport ask the same.
    std::optional<QString> unusable() const;
    // Plain http is only for a server on this computer: elsewhere it would show the password
    // and the places to the network.
    static std::optional<QString> unusableUrl(const QString &url);
    // A broker's password goes over TLS unless the broker is on this computer.
    std::optional<QString> unusableBroker() const;
};
