// The monitor as a real thread against the in-process bus, on a virtual clock
// that the test moves on by hand.
#include <gtest/gtest.h>

#include "busmodel/bus_model.h"
#include "busmodel/virtual_clock.h"
#include "cycle_fixture.h"
#include "monitor/monitor_thread.h"

using namespace monitor;

namespace {

constexpr std::uint32_t GenerousRealMs = 20000;

class MonitorThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        busmodel::UseVirtualClock(busmodel::ClockMode::Manual, 1000);
        busmodel::ResetBus();
        busmodel::Install();
        monitor_test::ResetMonitorSettings();
    }

    void TearDown() override {
        Settings().quitRequested = 1;
        // Releases any sleeper, so the thread can always end.
        busmodel::UseSystemClock();
        EXPECT_TRUE(WaitMonitorThread(GenerousRealMs));
        (void)onewire::closePort();
        busmodel::Uninstall();
    }

    // Moves the clock on one millisecond at a time while the monitor sleeps,
    // until `done` holds; false when the monitor stops sleeping for long.
    template <typename Done>
    bool driveUntil(Done done) {
        for (int i = 0; i < 100000 && !done(); ++i) {
            if (!busmodel::WaitForSleepers(1, GenerousRealMs)) return false;
            if (done()) return true;
            busmodel::AdvanceClockMs(1);
        }
        return done();
    }

    monitor_test::WindowRecorder window;
};

TEST_F(MonitorThreadTest, PublishesReadingsAndSeesQuitWithinOneStep) {
    const busmodel::Device device = monitor_test::Thermometer(busmodel::FamilyDs18b20, 1, 0x0191);
    busmodel::SetDevices({device});
    Settings().knownRoms = {device.rom};
    Settings().pollInterval = 10;
    ASSERT_TRUE(StartMonitorThread());

    // The start publishes once, the first pass once more.
    ASSERT_TRUE(driveUntil([this] { return window.events() >= 2; }));
    MonitorMailbox copy;
    TakeOverMailbox(copy);
    ASSERT_EQ(copy.rows.size(), 1u);
    EXPECT_EQ(copy.rows[0].cells[Temperature].text, "25.1 °C");
    EXPECT_EQ(copy.statusText, "Порт открыт");

    // Now in the interval wait: one 100 ms step after the request it ends.
    ASSERT_TRUE(busmodel::WaitForSleepers(1, GenerousRealMs));
    Settings().quitRequested = 1;
    busmodel::AdvanceClockMs(100);
    EXPECT_TRUE(WaitMonitorThread(GenerousRealMs));
}

}  // namespace
