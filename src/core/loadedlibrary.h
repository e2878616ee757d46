#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <optional>
#include <utility>

// A library the program loads when it first needs it rather than at every start: its functions
// are looked up by name once, and it stays loaded for the rest of the run, as threads may still
// call into it until the program ends.
namespace LoadedLibrary {

// Where each function found goes, by its name.
using Symbol = std::pair<const char *, void **>;

// Opens the library and looks up every symbol. True when all were found; else the library is
// let go, and either loadError holds the loader's words (the file cannot be loaded) or missing
// names the functions it lacks.
bool open(const char *fileName, std::initializer_list<Symbol> symbols, QString *loadError,
          QStringList *missing);

} // namespace LoadedLibrary

// The program's one copy of a library: Library::open(Library::DefaultFileName, &why) is tried
// at each load() until it succeeds, as the user may install the library meanwhile.
template<class Library> class LoadedOnce
{
public:
    // Empty when loaded, else what open() said.
    static QString load()
    {
        if (loaded())
            return {};
        QString why;
        if (const std::optional<Library> library = Library::open(Library::DefaultFileName, &why)) {
            copy() = *library;
            loaded() = true;
        }
        return why;
    }
    // The functions, once load() has said yes.
    static const Library &get() { return copy(); }

private:
    static Library &copy()
    {
        static Library library;
        return library;
    }
    static bool &loaded()
    {
        static bool done = false;
        return done;
    }
};
