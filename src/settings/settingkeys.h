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
                              ShortcutAdvice};

inline constexpr char On[] = "On";
inline constexpr char Off[] = "Off";

} // namespace SettingKeys
