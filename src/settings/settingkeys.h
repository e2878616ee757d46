#pragma once

// Every key the program keeps, with the text a read yields when the key was never written.
// "Weekly Time" has no fixed default: a read falls back to the current time of day.
namespace SettingKeys {

struct Key
{
    const char *name;
    const char *defaultText;
};

inline constexpr Key Option1 {"Option1", "0"}; // weekly schedule chosen
inline constexpr Key Option2 {"Option2", "0"}; // daily schedule chosen
inline constexpr Key Option3 {"Option3", "1"}; // interval schedule chosen
inline constexpr Key WeeklyTime {"Weekly Time", nullptr};
inline constexpr Key Weekly {"Weekly", "Monday"};
inline constexpr Key Text1 {"Text1", "1"}; // hours of the interval
inline constexpr Key Text2 {"Text2", "0"}; // minutes of the interval
inline constexpr Key Text3 {"Text3", "0"}; // seconds of the interval
inline constexpr Key StartStopState {"StartStopState", "On"};
inline constexpr Key WindowsStartup {"Windows Startup", "Off"};
inline constexpr Key Minimized {"Minimized", "Off"};
inline constexpr Key APIKey {"APIKey", ""};
inline constexpr Key LogOnNetworkChange {"Log On Network Change", "Off"};
inline constexpr Key KeepResults {"Keep Results", "Off"};
inline constexpr Key UseLocationService {"Use Location Service", "Off"};
// Sharing each log with the user's own location server: "Off", "HTTP" or "MQTT".
inline constexpr Key Share {"Share", "Off"};
inline constexpr Key ShareUrl {"Share URL", ""};
inline constexpr Key ShareAuth {"Share Auth", "None"}; // "None", "Basic" or "Token"
inline constexpr Key ShareUser {"Share User", ""}; // empty: the login name
inline constexpr Key ShareDevice {"Share Device", ""}; // empty: the host name
inline constexpr Key ShareHost {"Share Host", ""};
inline constexpr Key SharePort {"Share Port", "1883"};
inline constexpr Key ShareTls {"Share TLS", "Off"};
inline constexpr Key ShareCaFile {"Share CA File", ""}; // empty: the system's CA store
inline constexpr Key ShareTopic {"Share Topic", ""}; // empty: owntracks/<login>/<host>
inline constexpr Key ShareClientId {"Share Client Id", ""};
// Some HTTP servers name the device by a topic in the message itself.
inline constexpr Key ShareTopicInBody {"Share Topic In Body", "Off"};
// The server's password or token, only where no secret store answers and the user agreed to
// keep it in this file.
inline constexpr Key ShareSecret {"Share Secret", ""};
// "On" once the user was told how to bind a key to the toggle on a desktop that binds none.
inline constexpr Key ShortcutAdvice {"Shortcut Advice", "Off"};

inline constexpr Key All[] = {Option1,
                              Option2,
                              Option3,
                              WeeklyTime,
                              Weekly,
                              Text1,
                              Text2,
                              Text3,
                              StartStopState,
                              WindowsStartup,
                              Minimized,
                              APIKey,
                              LogOnNetworkChange,
                              KeepResults,
                              UseLocationService,
                              Share,
                              ShareUrl,
                              ShareAuth,
                              ShareUser,
                              ShareDevice,
                              ShareHost,
                              SharePort,
                              ShareTls,
                              ShareCaFile,
                              ShareTopic,
                              ShareClientId,
                              ShareTopicInBody,
                              ShareSecret,
                              ShortcutAdvice};

inline constexpr char On[] = "On";
inline constexpr char Off[] = "Off";

} // namespace SettingKeys
