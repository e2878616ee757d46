#pragma once

#include <QString>

// Every key the program keeps, with the text a read yields when the key was never written, and
// the type its text stands for with the way the text is read and written. The texts are the
// ones earlier versions wrote: a file they left reads the same, and a save writes the same bytes.
// "Weekly Time" has no fixed default: a read falls back to the current time of day.
namespace SettingKeys {

struct Key
{
    const char *name;
    const char *defaultText;
};

// A key whose text stands for a T. Reading never fails where an earlier version would have
// taken the text as its default; a truth text that is none raises a Failure, as it always did.
template<typename T> struct Typed : Key
{
    T (*decode)(const QString &text);
    QString (*encode)(const T &value);
};

inline constexpr char On[] = "On";
inline constexpr char Off[] = "Off";

// Text kept as it was typed.
QString decodeText(const QString &text);
QString encodeText(const QString &text);
// "On" and "Off": exactly "On" is on, any other text (another case included) is off.
bool decodeOnOff(const QString &text);
QString encodeOnOff(const bool &on);
// "True" and "False" in any case, or a number (0 is false); anything else raises a Failure.
bool decodeTruth(const QString &text);
QString encodeTruth(const bool &value);

// The server's port: 1 to 65535; any other text is the broker's usual port.
inline constexpr int PortDefault = 1883;
int decodePort(const QString &text);
QString encodePort(const int &port);

// A choice among fixed words, kept as its position: the word without regard to case or blanks
// around it; an unknown word is the first one.
inline constexpr const char *ShareModeTexts[] = {"Off", "HTTP", "MQTT"};
inline constexpr const char *ShareAuthTexts[] = {"None", "Basic", "Token"};
int decodeShareMode(const QString &text);
QString encodeShareMode(const int &mode);
int decodeShareAuth(const QString &text);
QString encodeShareAuth(const int &auth);

using TextKey = Typed<QString>;
using OnOffKey = Typed<bool>;

inline constexpr Typed<bool> Option1 {{"Option1", "0"}, decodeTruth, encodeTruth}; // weekly
inline constexpr Typed<bool> Option2 {{"Option2", "0"}, decodeTruth, encodeTruth}; // daily
inline constexpr Typed<bool> Option3 {{"Option3", "1"}, decodeTruth, encodeTruth}; // interval
inline constexpr TextKey WeeklyTime {{"Weekly Time", nullptr}, decodeText, encodeText};
inline constexpr TextKey Weekly {{"Weekly", "Monday"}, decodeText, encodeText};
// The interval boxes as typed: hours, minutes, seconds. The schedule's rules read them.
inline constexpr TextKey Text1 {{"Text1", "1"}, decodeText, encodeText};
inline constexpr TextKey Text2 {{"Text2", "0"}, decodeText, encodeText};
inline constexpr TextKey Text3 {{"Text3", "0"}, decodeText, encodeText};
// "On", "Off", or for any other text the switch left as the window starts it.
inline constexpr TextKey StartStopState {{"StartStopState", "On"}, decodeText, encodeText};
inline constexpr OnOffKey WindowsStartup {{"Windows Startup", "Off"}, decodeOnOff, encodeOnOff};
inline constexpr OnOffKey Minimized {{"Minimized", "Off"}, decodeOnOff, encodeOnOff};
inline constexpr TextKey APIKey {{"APIKey", ""}, decodeText, encodeText};
inline constexpr OnOffKey LogOnNetworkChange {
    {"Log On Network Change", "Off"}, decodeOnOff, encodeOnOff};
inline constexpr OnOffKey KeepResults {{"Keep Results", "Off"}, decodeOnOff, encodeOnOff};
inline constexpr OnOffKey UseLocationService {
    {"Use Location Service", "Off"}, decodeOnOff, encodeOnOff};
// Sharing each log with the user's own location server.
inline constexpr Typed<int> Share {{"Share", "Off"}, decodeShareMode, encodeShareMode};
inline constexpr TextKey ShareUrl {{"Share URL", ""}, decodeText, encodeText};
inline constexpr Typed<int> ShareAuth {{"Share Auth", "None"}, decodeShareAuth, encodeShareAuth};
inline constexpr TextKey ShareUser {{"Share User", ""}, decodeText, encodeText}; // "": login
inline constexpr TextKey ShareDevice {{"Share Device", ""}, decodeText, encodeText}; // "": host
inline constexpr TextKey ShareHost {{"Share Host", ""}, decodeText, encodeText};
inline constexpr Typed<int> SharePort {{"Share Port", "1883"}, decodePort, encodePort};
inline constexpr OnOffKey ShareTls {{"Share TLS", "Off"}, decodeOnOff, encodeOnOff};
// Empty: the system's CA store.
inline constexpr TextKey ShareCaFile {{"Share CA File", ""}, decodeText, encodeText};
// Empty: owntracks/<login>/<host>.
inline constexpr TextKey ShareTopic {{"Share Topic", ""}, decodeText, encodeText};
inline constexpr TextKey ShareClientId {{"Share Client Id", ""}, decodeText, encodeText};
// Some HTTP servers name the device by a topic in the message itself.
inline constexpr OnOffKey ShareTopicInBody {
    {"Share Topic In Body", "Off"}, decodeOnOff, encodeOnOff};
// The server may ask for a log.
inline constexpr OnOffKey ShareCommands {{"Share Commands", "Off"}, decodeOnOff, encodeOnOff};
// The server's password or token, only where no secret store answers and the user agreed to
// keep it in this file.
inline constexpr TextKey ShareSecret {{"Share Secret", ""}, decodeText, encodeText};
// The key messages are sealed with, on the same terms.
inline constexpr TextKey ShareEncryptionKey {{"Share Encryption Key", ""}, decodeText, encodeText};
// On once the user was told how to bind a key to the toggle on a desktop that binds none.
inline constexpr OnOffKey ShortcutAdvice {{"Shortcut Advice", "Off"}, decodeOnOff, encodeOnOff};

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
                              ShortcutAdvice,
                              ShareCommands,
                              ShareEncryptionKey};

} // namespace SettingKeys
