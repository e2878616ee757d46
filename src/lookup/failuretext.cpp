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
// half of its code.
QString shortened(const QString &text)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype keep = 0; // where the text ends when the ellipsis follows
    int count = 0;
    for (qsizetype at = characters.toNextBoundary(); at >= 0; at = characters.toNextBoundary()) {
        if (++count == FailureText::MaxMessageLength - 1)
            keep = at;
        if (count > FailureText::MaxMessageLength)
            return text.left(keep).trimmed() + QChar(0x2026);
    }
    return text;
}

// The first line that shows something.
QString firstLine(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("[\r\n\f\v\u2028\u2029]"));
    for (const QStringView line : QStringView(text).split(lineBreak, Qt::SkipEmptyParts)) {
        QString shown = printable(line);
        if (!shown.isEmpty())
            return shown;
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

QString htmlMessage(const QString &page)
{
    const auto options = QRegularExpression::CaseInsensitiveOption
        | QRegularExpression::DotMatchesEverythingOption;
    static const QRegularExpression title(QStringLiteral("<title\\b[^>]*>(.*?)</title\\s*>"),
                                          options);
    const QString titled = printable(decodeEntities(title.match(page).captured(1)));
    if (!titled.isEmpty())
        return titled;

    static const QRegularExpression hidden(
        QStringLiteral("<!--.*?-->|<(script|style|head)\\b.*?</\\1\\s*>"), options);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>?"));
    QString text = page;
    text.remove(hidden);
    text.replace(tag, QStringLiteral("\n"));
    return firstLine(decodeEntities(text));
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

} // namespace

namespace FailureText {

QString couldNotConnect()
{
    return QStringLiteral("Could not connect to the location service.");
}

QString httpError(int status, const QByteArray &body)
{
    const QString message = serviceMessage(body);
    const QString code = QString::number(status);
    if (message.isEmpty())
        return QStringLiteral("The service answered HTTP %1.").arg(code);
    return QStringLiteral("The service answered HTTP %1: %2").arg(code, message);
}

QString serviceMessage(const QByteArray &body)
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
        return shortened(*fromJson);
    if (QStringView(text).trimmed().startsWith(QLatin1Char('<')))
        return shortened(htmlMessage(text));
    return shortened(firstLine(text));
}

} // namespace FailureText
