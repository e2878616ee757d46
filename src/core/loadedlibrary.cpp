#include "core/loadedlibrary.h"

#include <dlfcn.h>

bool LoadedLibrary::open(const char *fileName, std::initializer_list<Symbol> symbols,
                         QString *loadError, QStringList *missing)
{
    void *handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *error = ::dlerror();
        *loadError = error ? QString::fromLocal8Bit(error) : QStringLiteral("unknown");
        return false;
    }
    for (const auto &[name, slot] : symbols) {
        *slot = ::dlsym(handle, name);
        if (!*slot)
            missing->append(QString::fromLatin1(name));
    }
    if (missing->isEmpty())
        return true;
    ::dlclose(handle);
    return false;
}
