#pragma once
// A fresh simulated bus on the virtual clock, installed as the serial backend.
#include <gtest/gtest.h>

#include <vector>

#include "busmodel/bus_model.h"
#include "busmodel/rom_tools.h"
#include "busmodel/virtual_clock.h"
#include "onewire/link.h"
#include "onewire/port_adapter.h"
#include "onewire/primitives.h"
#include "onewire/rom.h"
#include "onewire/status.h"

namespace onewire_test {

using busmodel::Device;
using onewire::RomCode;

class BusTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens COM1 on the simulated bus; fails the test when it cannot.
    void open();
    static Device thermometer(std::uint8_t family, std::uint64_t serial, std::int16_t raw = 0);
    // Every code a complete enumeration delivers, in order.
    static std::vector<RomCode> enumerate();
    static std::uint64_t bytesWritten() { return busmodel::CurrentPortState().bytesWritten; }
};

}  // namespace onewire_test
