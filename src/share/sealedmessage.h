#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A message sealed with the user's encryption key, as location servers and their apps read it:
// {"_type":"encrypted","data":"…"}, data being Base64 of a fresh 24-byte nonce followed by the
// message sealed with XSalsa20-Poly1305. Whoever holds the key can read it, and can tell that no
// one without the key made or changed it. The cryptography library must be loaded first
// (SodiumLibrary::load).
namespace SealedMessage {

// The key the library takes: the passphrase's UTF-8 bytes, cut or padded with zeros to 32.
QByteArray keyOf(const QString &passphrase);
// The envelope that carries message.
QByteArray seal(const QString &passphrase, const QByteArray &message);
// Whether the JSON object is such an envelope.
bool isSealed(const QByteArray &object);
// What the envelope carries; nothing when it is none, or does not open with the key.
std::optional<QByteArray> open(const QString &passphrase, const QByteArray &envelope);

} // namespace SealedMessage
