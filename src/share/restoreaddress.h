#pragma once

#include "share/sharesettings.h"

#include <QString>
#include <optional>

// Which kind of server keeps the laptop's record: an OwnTracks recorder (its API under
// api/0/) or a dawarich server (its API under api/v1/, opened with the user's API key).
enum class RestoreKind { None, Recorder, Dawarich };

// Where the record is read back from, worked out from the sharing settings: the server that
// takes the logs also answers for them, under another path. The user may give another address.
struct RestoreAddress
{
    static constexpr int RecorderPort = 8083; // where a recorder beside a broker usually answers

    QString base; // "https://host:port/" or "https://host:port/prefix/": the API paths follow
    RestoreKind likely = RestoreKind::None; // what the address suggests; None: nothing says
    QString apiKey; // dawarich's key; it travels in the address, so never on a command line
    QString user; // the record's user and device on a recorder
    QString device;
    ShareSettings::Auth auth = ShareSettings::Auth::None; // as the logs are sent
    QString login; // for Auth::Basic
    QString secret; // the password, or the token for Auth::Token

    bool operator==(const RestoreAddress &) const = default;

    // An HTTP publish address "https://host/pub" gives "https://host/"; dawarich's OwnTracks
    // address ".../api/v1/owntracks/points?api_key=KEY" gives ".../" with KEY; an MQTT broker's
    // host gives "http://host:8083/", the recorder's usual port, with the user and device of
    // its topic.
    static RestoreAddress fromSettings(const ShareSettings &settings);
    // The same names and secret, at an address the user gave instead: a base, or any address
    // on the server that RestoreAddress understands as above.
    RestoreAddress at(const QString &url) const;

    // Why nothing can be read from here, in the user's words; nothing when it can.
    std::optional<QString> unusable() const;
    // The API address of path ("api/0/list") with the query already encoded.
    QString api(const QString &path, const QString &query = {}) const;
};
