// The answer text rules on arbitrary bytes: flattening and picking the six values never fail,
// and every value keeps the promises the table relies on. The same bytes as an error body give
// a message that a tooltip can show on one line.
#include "lookup/answertext.h"
#include "lookup/failuretext.h"

#include <QTextBoundaryFinder>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString answer = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString flat = AnswerText::Normalise(answer);
    // Flattening leaves no line breaks, tabs, braces or brackets.
    for (const QChar c : flat) {
        if (c == u'\t' || c == u'\r' || c == u'\n' || c == u'{' || c == u'}' || c == u'['
            || c == u']')
            std::abort();
    }
    for (const char *key : {"country:", "region:", "city:", "postal:", "loc:", "timezone:"}) {
        const QString value = AnswerText::GetJSValue(flat, QString::fromLatin1(key));
        if (value.contains(u'"'))
            std::abort();
        // Every comma is widened.
        for (qsizetype i = value.indexOf(u','); i >= 0; i = value.indexOf(u',', i + 1)) {
            if (i + 1 >= value.size() || value.at(i + 1) != u' ')
                std::abort();
        }
    }

    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString message = FailureText::serviceMessage(body);
    if (message.startsWith(u' ') || message.endsWith(u' ') || message.contains(u"  "))
        std::abort();
    for (qsizetype i = 0; i < message.size(); ++i) {
        char32_t c = message[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < message.size()
            && message[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(message[i], message[i + 1]);
            ++i;
        }
        // Nothing that breaks the line, turns the text around or stands for no character.
        if (!QChar::isPrint(c) || (QChar::isSpace(c) && c != u' '))
            std::abort();
    }
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, message);
    int count = 0;
    while (characters.toNextBoundary() >= 0)
        ++count;
    if (count > FailureText::MaxMessageLength || message.size() > FailureText::MaxMessageUnits)
        std::abort();
    return 0;
}
