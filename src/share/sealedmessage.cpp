#include "share/sealedmessage.h"

#include "share/sodiumlibrary.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace SealedMessage {
namespace {

const QString Type = QStringLiteral("encrypted");

auto bytes(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

auto bytes(QByteArray &data)
{
    return reinterpret_cast<unsigned char *>(data.data());
}

} // namespace

QByteArray keyOf(const QString &passphrase)
{
    QByteArray key = passphrase.toUtf8().left(crypto_secretbox_KEYBYTES);
    key.append(crypto_secretbox_KEYBYTES - key.size(), '\0');
    return key;
}

QByteArray seal(const QString &passphrase, const QByteArray &message)
{
    const SodiumLibrary &sodium = SodiumLibrary::get();
    const QByteArray key = keyOf(passphrase);
    QByteArray data(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + message.size(), '\0');
    sodium.randombytes_buf(data.data(), crypto_secretbox_NONCEBYTES);
    sodium.crypto_secretbox_easy(bytes(data) + crypto_secretbox_NONCEBYTES, bytes(message),
                                 quint64(message.size()), bytes(data), bytes(key));
    const QJsonObject envelope {{QStringLiteral("_type"), Type},
                                {QStringLiteral("data"), QString::fromLatin1(data.toBase64())}};
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact);
}

bool isSealed(const QByteArray &object)
{
    return QJsonDocument::fromJson(object).object().value(QStringLiteral("_type")).toString()
        == Type;
}

std::optional<QByteArray> open(const QString &passphrase, const QByteArray &envelope)
{
    const QJsonObject object = QJsonDocument::fromJson(envelope).object();
    if (object.value(QStringLiteral("_type")).toString() != Type)
        return std::nullopt;
    const auto decoded
        = QByteArray::fromBase64Encoding(object.value(QStringLiteral("data")).toString().toLatin1(),
                                         QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray &data = decoded.decoded;
    if (!decoded || data.size() < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES)
        return std::nullopt;
    const QByteArray key = keyOf(passphrase);
    const qsizetype sealed = data.size() - crypto_secretbox_NONCEBYTES;
    QByteArray message(sealed - crypto_secretbox_MACBYTES, '\0');
    if (SodiumLibrary::get().crypto_secretbox_open_easy(bytes(message),
                                                        bytes(data) + crypto_secretbox_NONCEBYTES,
                                                        quint64(sealed), bytes(data), bytes(key))
        != 0)
        return std::nullopt;
    return message;
}

} // namespace SealedMessage
