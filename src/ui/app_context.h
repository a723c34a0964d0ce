// The application context: everything that lives as long as the process — the snapshot, the
// adapter shown, the settings and the platform services. Created in main and passed by
// reference; there are no mutable globals.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "inventory/network_query.h"
#include "inventory/snapshot.h"
#include "platform/ip_helper.h"
#include "ui/app_settings.h"

namespace nicops::ui {

// currentAdapterIndex when no adapter is selected (-1 as a 32-bit value).
inline constexpr std::uint32_t kNoAdapter = 0xFFFFFFFFU;

struct AppContext {
    explicit AppContext(platform::HostBackend& host) : backend(host), networkQuery(host) {}

    platform::HostBackend& backend;
    inventory::NetworkQuery networkQuery;

    // Guards `snapshot`: workers rebuild it while the UI thread may read it.
    std::mutex snapshotMutex;
    inventory::AdapterSnapshot snapshot;

    SharedSettings settings;

    // Whether the HTTP library the lookup uses can be used; checked at start-up.
    std::function<bool()> httpLibraryUsable = [] { return true; };
};

}  // namespace nicops::ui
