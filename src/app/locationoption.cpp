#include "app/locationoption.h"

#include "app/startupoptions.h"
#include "core/dialogs.h"
#include "lookup/curlfunctions.h"

#include <QTimer>

LocationOption::LocationOption(StartupOptions *options, CurlFunctions *lookup, Dialogs *dialogs,
                               QObject *parent)
    : QObject(parent), m_service(new LocationService(this)), m_lookup(lookup), m_dialogs(dialogs)
{
    connect(options, &StartupOptions::locationServiceChosen, this, &LocationOption::choose);
    connect(m_service, &LocationService::unavailable, this, [this](auto problem) {
        m_lookup->noWiFiFix();
        tell(problem);
    });
    choose(options->usesLocationService(), false);
}

void LocationOption::choose(bool on, bool byUser)
{
    if (!on) {
        m_lookup->setWiFiSource({});
        m_service->cancel();
        return;
    }
    // Ticked again: the user may have mended what was told, and hears of it again if not.
    if (byUser)
        m_told = false;
    m_lookup->setWiFiSource(
        [service = m_service](CurlFunctions::FixFound found) { service->ask(std::move(found)); });
}

void LocationOption::tell(LocationService::Problem problem)
{
    if (m_told)
        return;
    m_told = true;
    // Told from the event loop, not from inside the bus's answer.
    QTimer::singleShot(0, this,
                       [this, problem] { m_dialogs->inform(LocationService::advice(problem)); });
}
