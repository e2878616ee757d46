#include "core/rowfixes.h"

#include "core/logtable.h"

#include <QLocale>

namespace {

// How far apart the address and the Wi-Fi fix are, when the row has both and they lie farther
// apart than their accuracies allow; nothing when they agree or a fix is missing.
std::optional<double> farDistance(const std::optional<Fix> &address, const std::optional<Fix> &wifi)
{
    if (!address || !wifi)
        return std::nullopt;
    const double distance = Fixes::distanceMetres(*address, *wifi);
    if (distance <= address->accuracyMetres + wifi->accuracyMetres)
        return std::nullopt;
    return distance;
}

} // namespace

RowFixes::RowFixes(std::optional<GeoPoint> place, double givenAccuracyMetres,
                   std::optional<Fix> wifi, QString answerMark, FixChoice chosen)
    : m_wifi(std::move(wifi)), m_answerMark(std::move(answerMark)), m_chosen(chosen)
{
    if (place)
        m_address
            = Fix {place->latitude, place->longitude,
                   givenAccuracyMetres > 0 ? givenAccuracyMetres : Fixes::AddressEstimateMetres,
                   Fix::Source::Address};
}

RowFixes::RowFixes(const LogRecord &record)
    : RowFixes(ParseCoordinates(record.cells[LogTable::Coordinates - 1]),
               record.addressAccuracyMetres, record.wifi, record.mark, record.chosen)
{ }

FixChoice RowFixes::chosen() const
{
    // A choice between two fixes means something only while the row has both.
    return m_address && m_wifi ? m_chosen : FixChoice::Surer;
}

std::optional<Fix> RowFixes::best() const
{
    switch (chosen()) {
    case FixChoice::Address:
        return m_address;
    case FixChoice::WiFi:
        return m_wifi;
    case FixChoice::Surer:
        break;
    }
    if (m_address && m_wifi)
        return m_wifi->accuracyMetres < m_address->accuracyMetres ? m_wifi : m_address;
    return m_address ? m_address : m_wifi;
}

bool RowFixes::farApart() const
{
    return farDistance(m_address, m_wifi).has_value();
}

QString RowFixes::mark() const
{
    // What the user chose answers the doubt; the cell says so instead of raising it again.
    if (chosen() == FixChoice::WiFi)
        return QStringLiteral("You chose the Wi-Fi position.");
    if (chosen() == FixChoice::Address)
        return QStringLiteral("You chose the address position.");
    // A mark the answer gave (an address it cannot place, a plan that gives the country only)
    // says more than the distance would.
    if (!m_answerMark.isEmpty())
        return m_answerMark;
    const std::optional<double> distance = farDistance(m_address, m_wifi);
    if (!distance)
        return {};
    return QStringLiteral("The public address is placed %1 km from the laptop's Wi-Fi position "
                          "(a VPN, a proxy or a mobile network).")
        .arg(QLocale::system().toString(qRound64(*distance / 1000)));
}

void RowFixes::placeAddress(GeoPoint place)
{
    if (!m_address)
        return;
    m_address->latitude = place.latitude;
    m_address->longitude = place.longitude;
}
