#pragma once

#include <QByteArray>
#include <QString>

// What the user is told about a log that found no location: its row's tooltip and accessible
// description, and the tray icon's tip. The text comes from the HTTP status the client saw and
// from the service's own error body, which may be anything: JSON, HTML, plain text or bytes.
namespace FailureText {

// The longest message of the service that is passed on, in characters, "…" included; and in
// UTF-16 code units, whatever marks the characters carry.
inline constexpr int MaxMessageLength = 200;
inline constexpr int MaxMessageUnits = 4 * MaxMessageLength;

// "Could not connect to the location service."
QString couldNotConnect();

// "The service answered HTTP <status>: <message>", or "The service answered HTTP <status>."
// when the body holds no readable message. A redirect names, instead of its body's message,
// the Location it gave, on one line and within the same lengths. The service key, wherever it
// shows, is masked.
QString httpError(int status, const QByteArray &body, const QString &location = {},
                  const QString &key = {});

// text with every copy of key (without the blanks around it) masked: as it is, or
// percent-encoded in either case of hex digits, whole or in part. A blank key masks nothing.
QString withoutKey(const QString &text, const QString &key);
// The same for bytes kept as the service sent them, whatever their encoding.
QByteArray withoutKey(const QByteArray &bytes, const QString &key);

// The service's message in an error body, on one line, without control characters, within
// the lengths above; empty when there is none. From JSON: "message" (else "title")
// of the "error" object, else a top-level "message", "title" or "error" text. From HTML: the
// title, else the first text. From plain text: the first non-empty line. A body that is not
// UTF-8 text has none.
QString serviceMessage(const QByteArray &body);

} // namespace FailureText
