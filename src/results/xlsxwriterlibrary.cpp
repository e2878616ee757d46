#include "results/xlsxwriterlibrary.h"

#include "core/failure.h"

#include <QMutex>

#include <dlfcn.h>
#include <map>
#include <string>

namespace {

template<typename Function>
void Resolve(void *handle, const char *symbol, Function &into, QString &missing)
{
    into = reinterpret_cast<Function>(::dlsym(handle, symbol));
    if (!into)
        missing
            += (missing.isEmpty() ? QString() : QStringLiteral(", ")) + QString::fromLatin1(symbol);
}

} // namespace

const XlsxWriterLibrary &XlsxWriterLibrary::get(const char *fileName)
{
    // Keyed by file name so that a library that failed to load is tried again the next time:
    // the user may install it while the program runs.
    static QMutex mutex;
    static std::map<std::string, XlsxWriterLibrary> loaded;
    const QMutexLocker locker(&mutex);
    if (const auto found = loaded.find(fileName); found != loaded.end())
        return found->second;

    const QString name = QString::fromLocal8Bit(fileName);
    void *handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = ::dlerror();
        throw Failure(
            QStringLiteral("the spreadsheet library %1 could not be loaded: %2")
                .arg(name, why ? QString::fromLocal8Bit(why) : QStringLiteral("unknown")));
    }
    XlsxWriterLibrary library;
    QString missing;
    Resolve(handle, "workbook_new_opt", library.workbook_new_opt, missing);
    Resolve(handle, "workbook_add_worksheet", library.workbook_add_worksheet, missing);
    Resolve(handle, "workbook_close", library.workbook_close, missing);
    Resolve(handle, "lxw_workbook_free", library.lxw_workbook_free, missing);
    Resolve(handle, "worksheet_write_string", library.worksheet_write_string, missing);
    Resolve(handle, "worksheet_set_column", library.worksheet_set_column, missing);
    Resolve(handle, "lxw_strerror", library.lxw_strerror, missing);
    if (!missing.isEmpty()) {
        ::dlclose(handle);
        throw Failure(QStringLiteral("the spreadsheet library %1 lacks %2").arg(name, missing));
    }
    // The handle stays open for the rest of the run: the functions are used from then on.
    return loaded.emplace(fileName, library).first->second;
}
