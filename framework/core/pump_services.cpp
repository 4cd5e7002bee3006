// The pump's service table.
#include "core/pump_services.h"

namespace {

struct PumpServiceTable {
    PumpServiceFunction services[kPumpServiceCount];
};

PumpServiceTable gPumpServices = {};

}  // namespace

void SetPumpService(PumpService slot, PumpServiceFunction service) {
    gPumpServices.services[slot] = service;
}

void RunPumpService(PumpService slot) {
    if (PumpServiceFunction service = gPumpServices.services[slot]) service();
}
