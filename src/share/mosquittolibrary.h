#pragma once

#include "core/loadedlibrary.h"

#include <QString>

#include <mosquitto.h>
#include <optional>

// The MQTT client library, loaded the first time a broker is reached. Linked at start-up it would
// bring itself and the TLS and cryptography libraries into every start of the program, though
// most sessions share nothing or share over HTTP.
struct MosquittoLibrary : LoadedOnce<MosquittoLibrary>
{
#define TROVANEL_MOSQUITTO_FUNCTIONS(F)                                                            \
    F(mosquitto_connect_bind_v5)                                                                   \
    F(mosquitto_connect_v5_callback_set)                                                           \
    F(mosquitto_destroy)                                                                           \
    F(mosquitto_disconnect)                                                                        \
    F(mosquitto_int_option)                                                                        \
    F(mosquitto_lib_init)                                                                          \
    F(mosquitto_log_callback_set)                                                                  \
    F(mosquitto_loop)                                                                              \
    F(mosquitto_message_v5_callback_set)                                                           \
    F(mosquitto_new)                                                                               \
    F(mosquitto_property_add_int32)                                                                \
    F(mosquitto_property_free_all)                                                                 \
    F(mosquitto_property_read_int32)                                                               \
    F(mosquitto_property_read_string)                                                              \
    F(mosquitto_pub_topic_check)                                                                   \
    F(mosquitto_publish_v5)                                                                        \
    F(mosquitto_publish_v5_callback_set)                                                           \
    F(mosquitto_reason_string)                                                                     \
    F(mosquitto_strerror)                                                                          \
    F(mosquitto_subscribe_v5)                                                                      \
    F(mosquitto_threaded_set)                                                                      \
    F(mosquitto_tls_set)                                                                           \
    F(mosquitto_unsubscribe_v5)                                                                    \
    F(mosquitto_username_pw_set)
#define TROVANEL_MOSQUITTO_MEMBER(name) decltype(&::name) name = nullptr;
    TROVANEL_MOSQUITTO_FUNCTIONS(TROVANEL_MOSQUITTO_MEMBER)
#undef TROVANEL_MOSQUITTO_MEMBER

    static constexpr const char *DefaultFileName = "libmosquitto.so.1";

    // The library under that file name; nothing when it cannot be used, and in why the sentence
    // that tells the user what is missing. The library stays loaded for the rest of the run.
    static std::optional<MosquittoLibrary> open(const char *fileName, QString *why);
};

// The loaded library's functions, once MosquittoLibrary::load() has said yes.
inline const MosquittoLibrary &Mosquitto()
{
    return MosquittoLibrary::get();
}
