#include "lookup/failuretext.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <optional>

namespace {

// Runs of white space become one blank, and what cannot be shown is dropped: control and
// format characters (a line break or a direction override would garble a tooltip), unpaired
// surrogates and unassigned code points.
QString printable(QStringView text)
{
    QString result;
    result.reserve(text.size());
    bool blankPending = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        const bool pair
            = QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (QChar::isSpace(c)) {
            blankPending = !result.isEmpty();
            continue;
        }
        if (!QChar::isPrint(c))
            continue;
        if (blankPending)
            result += QLatin1Char(' ');
        blankPending = false;
        result += QStringView(QChar::fromUcs4(c));
    }
    return result;
}

// Cut between two characters as the user sees them, so that a letter never loses its accent or
// half of its code. A character may carry any number of marks, so the length in code units is
// bound as well.
QString shortened(const QString &text)
{
    using FailureText::MaxMessageLength, FailureText::MaxMessageUnits;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype keep = 0; // the end of the last whole character that leaves room for "…"
    int count = 0;
    for (qsizetype at = characters.toNextBoundary(); at >= 0; at = characters.toNextBoundary()) {
        if (++count > MaxMessageLength || at > MaxMessageUnits) {
            if (keep == 0) {
                // A first character longer than the whole allowance: cut between code points.
                keep = MaxMessageUnits - 1;
                if (text[keep - 1].isHighSurrogate())
                    --keep;
            }
            return text.left(keep).trimmed() + QChar(0x2026);
        }
        if (count < MaxMessageLength && at < MaxMessageUnits)
            keep = at;
    }
    return text;
}

// The first line that shows something.
QString firstLine(QStringView text)
{
    const auto endsLine = [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' || c == u'\u0085'
            || c == u'\u2028' || c == u'\u2029';
    };
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = start;
        while (end < text.size() && !endsLine(text[end]))
            ++end;
        QString shown = printable(text.sliced(start, end - start));
        if (!shown.isEmpty())
            return shown;
        start = end + 1;
    }
    return {};
}

// The character references a server's error page commonly holds.
QString decodeEntities(const QString &text)
{
    static const QRegularExpression entity(
        QStringLiteral("&(#[xX][0-9a-fA-F]{1,6}|#[0-9]{1,7}|amp|lt|gt|quot|apos|nbsp);"));
    QString result;
    qsizetype from = 0;
    for (const QRegularExpressionMatch &match : entity.globalMatch(text)) {
        result += QStringView(text).sliced(from, match.capturedStart() - from);
        from = match.capturedEnd();
        const QString name = match.captured(1);
        if (name.startsWith(QLatin1Char('#'))) {
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint code = name.mid(hex ? 2 : 1).toUInt(nullptr, hex ? 16 : 10);
            if (code > 0 && code <= 0x10FFFF && !QChar::isSurrogate(code))
                result += QStringView(QChar::fromUcs4(char32_t(code)));
            continue;
        }
        static const QHash<QString, QChar> named = {
            {QStringLiteral("amp"), u'&'},   {QStringLiteral("lt"), u'<'},
            {QStringLiteral("gt"), u'>'},    {QStringLiteral("quot"), u'"'},
            {QStringLiteral("apos"), u'\''}, {QStringLiteral("nbsp"), u' '},
        };
        result += named.value(name);
    }
    result += QStringView(text).sliced(from);
    return result;
}

// The contents of the page's title element, or nothing.
QString titleOf(QStringView page)
{
    const QStringView tag = u"<title";
    qsizetype open = page.indexOf(tag, 0, Qt::CaseInsensitive);
    // Not <titlebar> or the like: the name ends at a blank or the tag's end.
    while (open >= 0 && open + tag.size() < page.size()
           && !(page[open + tag.size()] == u'>' || page[open + tag.size()].isSpace()))
        open = page.indexOf(tag, open + tag.size(), Qt::CaseInsensitive);
    const qsizetype start = open < 0 ? -1 : page.indexOf(u'>', open);
    const qsizetype end = start < 0 ? -1 : page.indexOf(u"</title", start, Qt::CaseInsensitive);
    return end < 0 ? QString() : page.sliced(start + 1, end - start - 1).toString();
}

// Where an element whose contents are not shown (a comment, a script, a style sheet, the
// head) starting at a tag ends, or 0 for any other tag.
qsizetype hiddenEnd(QStringView page, qsizetype open)
{
    const QStringView rest = page.sliced(open);
    if (rest.startsWith(u"<!--")) {
        const qsizetype end = page.indexOf(u"-->", open + 4);
        return end < 0 ? -1 : end + 3;
    }
    for (const QStringView name : {u"script", u"style", u"head"}) {
        const qsizetype after = name.size() + 1;
        if (!rest.sliced(1).startsWith(name, Qt::CaseInsensitive)
            || (rest.size() > after && rest[after].isLetterOrNumber()))
            continue;
        const QString closing = QStringLiteral("</") + name.toString();
        const qsizetype end = page.indexOf(closing, open + after, Qt::CaseInsensitive);
        const qsizetype close = end < 0 ? -1 : page.indexOf(u'>', end);
        return close < 0 ? -1 : close + 1;
    }
    return 0;
}

// The page's text with each tag turned into a line break. Every search goes on from where the
// last one stopped, so that a page full of unclosed tags costs no more than a short one.
QString pageText(QStringView page)
{
    QString text;
    qsizetype at = 0;
    while (at >= 0 && at < page.size()) {
        const qsizetype open = page.indexOf(u'<', at);
        text += page.sliced(at, (open < 0 ? page.size() : open) - at);
        if (open < 0)
            break;
        text += QLatin1Char('\n');
        at = hiddenEnd(page, open);
        if (at == 0) {
            const qsizetype close = page.indexOf(u'>', open);
            at = close < 0 ? -1 : close + 1;
        }
    }
    return text;
}

QString htmlMessage(const QString &page)
{
    const QString titled = printable(decodeEntities(titleOf(page)));
    if (!titled.isEmpty())
        return titled;
    return firstLine(decodeEntities(pageText(page)));
}

// nullopt when the body is no JSON object; an empty text when it is one without a message.
std::optional<QString> jsonMessage(const QString &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;

    const QJsonObject top = document.object();
    const QJsonObject inner = top.value(QLatin1String("error")).toObject();
    const QJsonValue candidates[] = {
        inner.value(QLatin1String("message")), inner.value(QLatin1String("title")),
        top.value(QLatin1String("message")),   top.value(QLatin1String("title")),
        top.value(QLatin1String("error")),
    };
    for (const QJsonValue &candidate : candidates) {
        const QString shown = printable(candidate.toString());
        if (!shown.isEmpty())
            return shown;
    }
    return QString();
}

// The service's message in an error body, whole.
QString fullMessage(const QByteArray &body)
{
    // Bytes that are not UTF-8 text would show as a row of replacement marks; the status says
    // more than they do.
    if (body.contains('\0'))
        return {};
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(body);
    if (utf8.hasError())
        return {};

    if (const std::optional<QString> fromJson = jsonMessage(text))
        return *fromJson;
    if (QStringView(text).trimmed().startsWith(QLatin1Char('<')))
        return htmlMessage(text);
    return firstLine(text);
}

// A service that sends the request back elsewhere may repeat its query, key and all; the key
// must not reach a tooltip, the tray's tip or the kept history.
QString withoutToken(QString location)
{
    static const QRegularExpression key(QStringLiteral("(token=)[^&#]*"),
                                        QRegularExpression::CaseInsensitiveOption);
    return location.replace(key, QStringLiteral("\\1\u2026"));
}

// A hex digit as a pattern that takes either case.
QString eitherCase(int digit)
{
    const char upper = "0123456789ABCDEF"[digit];
    if (digit < 10)
        return QString(QLatin1Char(upper));
    const char both[] = {'[', upper, char(upper + ('a' - 'A')), ']', '\0'};
    return QString::fromLatin1(both);
}

// Each piece of the key as itself or percent-encoded, either case of hex digits: a server may
// pass the key on as the request had it, decode it, or encode it afresh in its own way. The
// pieces are its characters, or, for bytes read as one character a byte, its UTF-8 bytes.
QRegularExpression keyPattern(const QString &token, bool bytewise)
{
    QString pattern;
    const auto add = [&pattern](const QString &piece, const QByteArray &utf8) {
        QString encoded;
        for (const char byte : utf8)
            encoded += QLatin1Char('%') + eitherCase(uchar(byte) >> 4) + eitherCase(byte & 0xF);
        pattern += QStringLiteral("(?:%1|%2)").arg(QRegularExpression::escape(piece), encoded);
    };
    if (bytewise) {
        for (const char byte : token.toUtf8())
            add(QString(QLatin1Char(byte)), QByteArray(1, byte));
    } else {
        for (const char32_t c : token.toUcs4()) {
            const QString piece = QString::fromUcs4(&c, 1);
            add(piece, piece.toUtf8());
        }
    }
    // Only the key as a whole value: a short key's letters inside the words around it ("make",
    // "token") are not the key, and the answer kept in the history must stay readable.
    return QRegularExpression(QStringLiteral("(?:(?<![A-Za-z0-9])|(?<=%[0-9A-Fa-f]{2}))(?:%1)"
                                             "(?![A-Za-z0-9])")
                                  .arg(pattern));
}

} // namespace

namespace FailureText {

QString withoutKey(const QString &text, const QString &key)
{
    const QString token = key.trimmed();
    if (token.isEmpty())
        return text;
    return QString(text).replace(keyPattern(token, false), QStringLiteral("\u2026"));
}

QByteArray withoutKey(const QByteArray &bytes, const QString &key)
{
    const QString token = key.trimmed();
    if (token.isEmpty())
        return bytes;
    // One character a byte, so that bytes that are no UTF-8 come back as they were.
    return QString::fromLatin1(bytes)
        .replace(keyPattern(token, true), QString::fromLatin1("\xE2\x80\xA6")) // "…" in UTF-8
        .toLatin1();
}

QString couldNotConnect()
{
    return QStringLiteral("Could not connect to the location service.");
}

QString httpError(int status, const QByteArray &body, const QString &location, const QString &key)
{
    // The lookup never follows a redirect, so that the key goes nowhere but to the service it
    // was given for: where the service moved to is what the user needs to know. The key is
    // masked before the text is cut, so that no part of it is left at the cut.
    const QString moved = status / 100 == 3
        ? shortened(withoutKey(printable(withoutToken(location)), key))
        : QString();
    const QString message = moved.isEmpty() ? shortened(withoutKey(fullMessage(body), key)) : moved;
    const QString code = QString::number(status);
    if (message.isEmpty())
        return QStringLiteral("The service answered HTTP %1.").arg(code);
    return QStringLiteral("The service answered HTTP %1: %2").arg(code, message);
}

QString serviceMessage(const QByteArray &body)
{
    return shortened(fullMessage(body));
}

} // namespace FailureText
