#include "share/sharetransport.h"

#include "share/httptransport.h"
#include "share/mqtttransport.h"

std::unique_ptr<ShareTransport> MakeShareTransport(const ShareSettings &settings)
{
    switch (settings.mode) {
    case ShareSettings::Mode::Http:
        return std::make_unique<HttpTransport>(settings, nullptr);
    case ShareSettings::Mode::Mqtt:
        return std::make_unique<MqttTransport>(settings, nullptr);
    case ShareSettings::Mode::Off:
        break;
    }
    return nullptr;
}
