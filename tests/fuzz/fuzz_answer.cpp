// The answer text rules on arbitrary bytes: flattening and picking the six values never fail,
// and every value keeps the promises the table relies on.
#include "lookup/answertext.h"

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
    return 0;
}
