#include "share/mosquittolibrary.h"

std::optional<MosquittoLibrary> MosquittoLibrary::open(const char *fileName, QString *why)
{
    const QString name = QString::fromLocal8Bit(fileName);
    MosquittoLibrary library;
    QString loadError;
    QStringList missing;
#define TROVANEL_MOSQUITTO_SYMBOL(symbol) {#symbol, reinterpret_cast<void **>(&library.symbol)},
    if (LoadedLibrary::open(fileName, {TROVANEL_MOSQUITTO_FUNCTIONS(TROVANEL_MOSQUITTO_SYMBOL)},
                            &loadError, &missing))
        return library;
#undef TROVANEL_MOSQUITTO_SYMBOL
    *why = missing.isEmpty()
        ? QStringLiteral("Sharing over MQTT needs the library %1 (Debian's libmosquitto1), "
                         "which could not be loaded: %2.")
              .arg(name, loadError)
        : QStringLiteral("The MQTT library %1 is too old for sharing: it lacks %2.")
              .arg(name, missing.join(QStringLiteral(", ")));
    return std::nullopt;
}
