#pragma once

#include "core/loadedlibrary.h"

#include <QString>

#include <optional>
#include <sodium.h>

// The cryptography library that seals the messages, loaded the first time a message is sealed
// or opened: only users who set an encryption key need it, and a start of the program without
// one does not pay for it.
struct SodiumLibrary : LoadedOnce<SodiumLibrary>
{
#define TROVANEL_SODIUM_FUNCTIONS(F)                                                               \
    F(sodium_init)                                                                                 \
    F(crypto_secretbox_easy)                                                                       \
    F(crypto_secretbox_open_easy)                                                                  \
    F(randombytes_buf)
#define TROVANEL_SODIUM_MEMBER(name) decltype(&::name) name = nullptr;
    TROVANEL_SODIUM_FUNCTIONS(TROVANEL_SODIUM_MEMBER)
#undef TROVANEL_SODIUM_MEMBER

    static constexpr const char *DefaultFileName = "libsodium.so.23";

    // The library under that file name, made ready; nothing when it cannot be used, and in why
    // the sentence that tells the user what is missing. It stays loaded for the rest of the run.
    static std::optional<SodiumLibrary> open(const char *fileName, QString *why);
};
