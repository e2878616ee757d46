#pragma once

#include <QString>

// The service's answer is not parsed as JSON: it is flattened to one line by fixed
// replacements, and values are picked out of that line by a text search.
namespace AnswerText {

// The twelve replacements, in order: tab removed; CR LF, CR and LF each to one space;
// {" "} { } removed; ": and :" to a bare colon; [ and ] removed.
QString Normalise(const QString &answer);

// The value after the first occurrence of key (compared without regard to case), up to the
// first terminator after it (", then ", then " then }), or to the end of the text when none
// follows; double quotes removed, each comma widened to ", ". Nothing is trimmed.
QString GetJSValue(const QString &source, const QString &key);

} // namespace AnswerText
