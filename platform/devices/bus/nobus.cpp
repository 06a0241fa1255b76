// The bus where the IEEE-1394 libraries are not built in: no ports.
#include "firewire/fwbus.h"

namespace dvfw {

namespace {

class NoBus final : public Bus {
public:
    int PortCount() override { return 0; }
    std::shared_ptr<BusPort> OpenPort(int) override { return nullptr; }
};

}  // namespace

std::shared_ptr<Bus> CreateSystemBus() { return std::make_shared<NoBus>(); }

}  // namespace dvfw
