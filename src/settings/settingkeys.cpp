#include "settings/settingkeys.h"

#include "settings/settingsstore.h"

#include <iterator>

namespace SettingKeys {
namespace {

template<size_t N> int indexOf(const char *const (&texts)[N], const QString &text)
{
    for (size_t i = 0; i < N; ++i) {
        if (text.trimmed().compare(QLatin1String(texts[i]), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return 0;
}

template<size_t N> QString wordAt(const char *const (&texts)[N], int index)
{
    return QString::fromLatin1(texts[index >= 0 && size_t(index) < N ? size_t(index) : 0]);
}

} // namespace

QString decodeText(const QString &text)
{
    return text;
}

QString encodeText(const QString &text)
{
    return text;
}

bool decodeOnOff(const QString &text)
{
    return text == QLatin1String(On);
}

QString encodeOnOff(const bool &on)
{
    return QString::fromLatin1(on ? On : Off);
}

bool decodeTruth(const QString &text)
{
    return Settings::TruthValue(text);
}

QString encodeTruth(const bool &value)
{
    return Settings::TruthText(value);
}

int decodePort(const QString &text)
{
    bool number = false;
    const int port = text.trimmed().toInt(&number);
    return number && port > 0 && port < 65536 ? port : PortDefault;
}

QString encodePort(const int &port)
{
    return QString::number(port);
}

int decodeShareMode(const QString &text)
{
    return indexOf(ShareModeTexts, text);
}

QString encodeShareMode(const int &mode)
{
    return wordAt(ShareModeTexts, mode);
}

int decodeShareAuth(const QString &text)
{
    return indexOf(ShareAuthTexts, text);
}

QString encodeShareAuth(const int &auth)
{
    return wordAt(ShareAuthTexts, auth);
}

} // namespace SettingKeys
