#pragma once

// How the primary connection reaches the network, as far as anyone past the laptop is told:
// Wi-Fi and a mobile connection are told apart, a cable, a VPN or a connection not yet known is
// not told at all.
enum class ConnectionKind { Unknown, WiFi, Mobile };
