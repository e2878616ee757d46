#include "share/sodiumlibrary.h"

std::optional<SodiumLibrary> SodiumLibrary::open(const char *fileName, QString *why)
{
    const QString name = QString::fromLocal8Bit(fileName);
    SodiumLibrary library;
    QString loadError;
    QStringList missing;
#define TROVANEL_SODIUM_SYMBOL(symbol) {#symbol, reinterpret_cast<void **>(&library.symbol)},
    const bool loaded = LoadedLibrary::open(
        fileName, {TROVANEL_SODIUM_FUNCTIONS(TROVANEL_SODIUM_SYMBOL)}, &loadError, &missing);
#undef TROVANEL_SODIUM_SYMBOL
    // 0 made ready now, 1 ready already; -1 its random source cannot be used.
    if (loaded && library.sodium_init() >= 0)
        return library;
    if (loaded)
        missing << QStringLiteral("a source of random numbers");
    *why = missing.isEmpty()
        ? QStringLiteral("Encrypting the messages needs the library %1 (Debian's libsodium23), "
                         "which could not be loaded: %2. Nothing is sent until it is installed "
                         "or the encryption key is removed.")
              .arg(name, loadError)
        : QStringLiteral("The cryptography library %1 cannot seal messages: it lacks %2. "
                         "Nothing is sent until this is mended or the encryption key is removed.")
              .arg(name, missing.join(QStringLiteral(", ")));
    return std::nullopt;
}
