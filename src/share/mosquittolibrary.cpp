#include "share/mosquittolibrary.h"

#include <QStringList>

#include <dlfcn.h>

namespace {

MosquittoLibrary g_library;
bool g_loaded = false;

} // namespace

std::optional<MosquittoLibrary> MosquittoLibrary::open(const char *fileName, QString *why)
{
    const QString name = QString::fromLocal8Bit(fileName);
    void *handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *error = ::dlerror();
        *why = QStringLiteral("Sharing over MQTT needs the library %1 (Debian's libmosquitto1), "
                              "which could not be loaded: %2.")
                   .arg(name, error ? QString::fromLocal8Bit(error) : QStringLiteral("unknown"));
        return std::nullopt;
    }
    MosquittoLibrary library;
    QStringList missing;
#define TROVANEL_MOSQUITTO_RESOLVE(symbol)                                                         \
    library.symbol = reinterpret_cast<decltype(library.symbol)>(::dlsym(handle, #symbol));         \
    if (!library.symbol)                                                                           \
        missing << QStringLiteral(#symbol);
    TROVANEL_MOSQUITTO_FUNCTIONS(TROVANEL_MOSQUITTO_RESOLVE)
#undef TROVANEL_MOSQUITTO_RESOLVE
    if (!missing.isEmpty()) {
        ::dlclose(handle);
        *why = QStringLiteral("The MQTT library %1 is too old for sharing: it lacks %2.")
                   .arg(name, missing.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    // The handle stays open: connections' threads use the functions until the program ends.
    return library;
}

QString MosquittoLibrary::load()
{
    if (g_loaded)
        return {};
    QString why;
    if (const std::optional<MosquittoLibrary> library = open(DefaultFileName, &why)) {
        g_library = *library;
        g_loaded = true;
    }
    return why;
}

const MosquittoLibrary &MosquittoLibrary::get()
{
    return g_library;
}
