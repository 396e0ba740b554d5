// The demonstration's logger, the same for every demo front end, and its
// settings from environment variables for the drop-in FTD2XX.dll.
#include <cstdlib>
#include <cstring>

#include "sim/sim.h"

void sim_SetUpDemo()
{
    sim_Reset();
    sim_settings.logger.first_track_no = 1;
    sim_settings.faults.seed = 2026;
    sim_settings.faults.lose_item_reply_ppm = 10000;

    //               no  day mo  yr  hh  mm  ss  items  seed  timing
    sim_AddTrack({1, 14, 11, 26, 9, 12, 5, 420, 11, true});
    sim_AddTrack({2, 21, 11, 26, 15, 40, 30, 1500, 22, false});
    sim_AddTrack({3, 2, 12, 26, 7, 5, 0, 3200, 33, true});
}

// The variable's value as a number, or fallback when it is unset or not a
// whole number.
static uint32_t environment_Number(const char* name, uint32_t fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    return *end == '\0' ? static_cast<uint32_t>(value) : fallback;
}

// What ZORP_SIM_ADAPTER names: an adapter that fails to open for a cause.
static const struct {
    const char* name;
    AdapterCause cause;
} adapter_failures[] = {
    {"absent", CAUSE_NO_ADAPTER}, {"denied", CAUSE_NO_PERMISSION}, {"held", CAUSE_HELD},
    {"busy", CAUSE_HELD_OR_DRIVER}, {"broken", CAUSE_OPEN_FAILED},
    {"no-driver", CAUSE_DRIVER_MISSING}, {"driver-32-bit", CAUSE_DRIVER_NOT_64_BIT},
    {"driver-incomplete", CAUSE_DRIVER_INCOMPLETE}, {"driver-unloadable", CAUSE_DRIVER_NOT_LOADED},
};

// Item replies before the demonstration's adapter is pulled: the second track
// is then half read.
constexpr uint32_t DEMO_PULLED_AFTER_ITEMS = 1000;

static void adapter_FromEnvironment()
{
    const char* adapter = std::getenv("ZORP_SIM_ADAPTER");
    if (adapter == nullptr) return;
    if (std::strcmp(adapter, "pulled") == 0) sim_settings.faults.vanish_after_items = DEMO_PULLED_AFTER_ITEMS;
    for (const auto& failure : adapter_failures)
        if (std::strcmp(adapter, failure.name) == 0) {
            // Absent is unplugged: not even in the device list.
            if (failure.cause == CAUSE_NO_ADAPTER) sim_settings.adapter.present = false;
            else sim_settings.adapter.open_failure = failure.cause;
        }
}

void sim_SetUpFromEnvironment()
{
    sim_SetUpDemo();
    SimFaultSettings& faults = sim_settings.faults;
    faults.lose_item_reply_ppm = environment_Number("ZORP_SIM_LOSS_PPM", faults.lose_item_reply_ppm);
    faults.seed = environment_Number("ZORP_SIM_SEED", faults.seed);
    const uint32_t tracks = environment_Number("ZORP_SIM_TRACKS", 0);
    if (tracks != 0) {
        sim_Reset();
        sim_settings.faults = faults;
        sim_AddTracks(static_cast<int>(tracks), 1, environment_Number("ZORP_SIM_ITEMS", 500), faults.seed);
    }
    adapter_FromEnvironment();
}
