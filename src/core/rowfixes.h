#pragma once

#include "core/coordinates.h"
#include "core/fix.h"

#include <QString>
#include <optional>

struct LogRecord;

// Which of a row's fixes the user made its place: none (the surer one stands), or one of the
// two by hand when the surer one is plainly wrong.
enum class FixChoice : quint8 { Surer, Address, WiFi };

// What a row says of where the laptop was: the address fix, where the lookup service placed the
// public address; the Wi-Fi fix, when the location service's fix joined the row; the surer of the
// two, which the table, the map, the files for mapping tools and the location message all give
// as the row's place; and the mark that doubts it. Made from the row when asked: the distance
// between the fixes is measured afresh, never stored.
class RowFixes
{
public:
    RowFixes() = default;
    // place: where the answer placed the address, none when the row names no place;
    // givenAccuracyMetres: the radius the answer gives, 0 when it gives none and
    // Fixes::AddressEstimateMetres stands for it; answerMark: the doubt the answer itself raised.
    RowFixes(std::optional<GeoPoint> place, double givenAccuracyMetres, std::optional<Fix> wifi,
             QString answerMark = {}, FixChoice chosen = FixChoice::Surer);
    // A whole log's, its address placed to the last digit its Coordinates cell gives.
    explicit RowFixes(const LogRecord &record);

    const std::optional<Fix> &address() const { return m_address; }
    const std::optional<Fix> &wifi() const { return m_wifi; }
    // The row's place: the fix the user chose, else the one with the smaller accuracy radius;
    // none when the row has neither.
    std::optional<Fix> best() const;
    // The fix the user chose, when the row has it; a choice of a fix the row lacks stands for
    // nothing.
    FixChoice chosen() const;
    // The address lies farther from the Wi-Fi fix than both accuracies allow: a VPN, a proxy or
    // a mobile network's exit was placed, not the laptop.
    bool farApart() const;
    // Why the row's place is doubtful, for the user; empty when nothing says so.
    QString mark() const;
    // The address placed here instead, with the same accuracy: the table keeps its places to
    // seven decimals, the files for mapping tools give every digit the service gave.
    void placeAddress(GeoPoint place);

private:
    std::optional<Fix> m_address, m_wifi;
    QString m_answerMark;
    FixChoice m_chosen = FixChoice::Surer;
};
