#include "share/sodiumlibrary.h"

#include <QStringList>

#include <dlfcn.h>

namespace {

SodiumLibrary g_library;
bool g_loaded = false;

} // namespace

std::optional<SodiumLibrary> SodiumLibrary::open(const char *fileName, QString *why)
{
    const QString name = QString::fromLocal8Bit(fileName);
    void *handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *error = ::dlerror();
        *why = QStringLiteral("Encrypting the messages needs the library %1 (Debian's "
                              "libsodium23), which could not be loaded: %2. Nothing is sent "
                              "until it is installed or the encryption key is removed.")
                   .arg(name, error ? QString::fromLocal8Bit(error) : QStringLiteral("unknown"));
        return std::nullopt;
    }
    SodiumLibrary library;
    QStringList missing;
#define TROVANEL_SODIUM_RESOLVE(symbol)                                                            \
    library.symbol = reinterpret_cast<decltype(library.symbol)>(::dlsym(handle, #symbol));         \
    if (!library.symbol)                                                                           \
        missing << QStringLiteral(#symbol);
    TROVANEL_SODIUM_FUNCTIONS(TROVANEL_SODIUM_RESOLVE)
#undef TROVANEL_SODIUM_RESOLVE
    // 0 made ready now, 1 ready already; -1 its random source cannot be used.
    if (missing.isEmpty() && library.sodium_init() < 0)
        missing << QStringLiteral("a source of random numbers");
    if (!missing.isEmpty()) {
        ::dlclose(handle);
        *why = QStringLiteral("The cryptography library %1 cannot seal messages: it lacks %2. "
                              "Nothing is sent until this is mended or the encryption key is "
                              "removed.")
                   .arg(name, missing.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    return library;
}

QString SodiumLibrary::load()
{
    if (g_loaded)
        return {};
    QString why;
    if (const std::optional<SodiumLibrary> library = open(DefaultFileName, &why)) {
        g_library = *library;
        g_loaded = true;
    }
    return why;
}

const SodiumLibrary &SodiumLibrary::get()
{
    return g_library;
}
