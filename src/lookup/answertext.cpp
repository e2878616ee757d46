#include "lookup/answertext.h"

#include <QStringView>

namespace {

struct Replacement
{
    QStringView before;
    QStringView after;
};

// The order matters: line breaks must become spaces before the braces go, and the two-character
// forms {" and "} must go before the lone braces, or their quotes would be left behind.
constexpr Replacement Replacements[] = {
    {u"\t", u""}, {u"\r\n", u" "}, {u"\r", u" "},  {u"\n", u" "},  {u"{\"", u""}, {u"\"}", u""},
    {u"{", u""},  {u"}", u""},     {u"\":", u":"}, {u":\"", u":"}, {u"[", u""},   {u"]", u""},
};

// Tried one after another, not nearest first: the first kind found anywhere after the value's
// start ends it.
constexpr QStringView Terminators[] = {u"\",", u"\", ", u"\" ", u"}"};

// Builds the result in one pass. QString::replace moves the tail of the text once per batch of
// matches, which grows with the square of the length on a large answer full of quotes.
QString replaceAll(const QString &text, QStringView before, QStringView after)
{
    qsizetype found = text.indexOf(before);
    if (found < 0)
        return text;

    QString result;
    result.reserve(text.size());
    const QStringView whole(text);
    qsizetype from = 0;
    while (found >= 0) {
        result.append(whole.sliced(from, found - from));
        result.append(after);
        from = found + before.size();
        found = text.indexOf(before, from);
    }
    result.append(whole.sliced(from));
    return result;
}

} // namespace

namespace AnswerText {

QString Normalise(const QString &answer)
{
    QString text = answer;
    for (const Replacement &replacement : Replacements)
        text = replaceAll(text, replacement.before, replacement.after);
    return text;
}

QString GetJSValue(const QString &source, const QString &key)
{
    if (source.isEmpty())
        return {};
    const qsizetype keyAt = source.indexOf(key, 0, Qt::CaseInsensitive);
    if (keyAt < 0)
        return {};

    const qsizetype start = keyAt + key.size();
    qsizetype end = -1;
    for (QStringView terminator : Terminators) {
        end = source.indexOf(terminator, start, Qt::CaseInsensitive);
        if (end >= 0)
            break;
    }

    // Without a terminator the value is the last one of a single-line answer, whose closing
    // quote and brace Normalise has already taken away; it runs to the end of the text.
    const QStringView whole(source);
    QString value = (end >= 0 ? whole.sliced(start, end - start) : whole.sliced(start)).toString();
    value.remove(QLatin1Char('"'));
    return replaceAll(value, u",", u", ");
}

} // namespace AnswerText
