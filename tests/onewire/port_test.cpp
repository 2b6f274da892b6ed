// Opening, closing and powering the port through the simulated adapter.
#include "bus_fixture.h"

namespace onewire_test {
namespace {

class PortTest : public BusTest {
  protected:
    static bool linesOn() {
        const busmodel::PortState state = busmodel::CurrentPortState();
        EXPECT_EQ(state.dtr, state.rts);  // the two supply lines always move together
        return state.dtr;
    }
};

TEST_F(PortTest, OpeningAMissingPortClosesTheOldOneUnpowered) {
    open();
    EXPECT_TRUE(linesOn());
    EXPECT_FALSE(onewire::openPort("COM9"));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoPort);
    EXPECT_FALSE(busmodel::CurrentPortState().open);
    EXPECT_FALSE(linesOn());
    EXPECT_FALSE(onewire::busReset());
    EXPECT_EQ(onewire::lastStatus(), onewire::NoPort);
}

TEST_F(PortTest, ClosingTwiceReportsTheSecondAsNoPort) {
    open();
    EXPECT_TRUE(onewire::closePort());
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    EXPECT_TRUE(onewire::adapterName().empty());
    EXPECT_FALSE(onewire::closePort());
    EXPECT_EQ(onewire::lastStatus(), onewire::NoPort);
}

TEST_F(PortTest, APortInUseCannotBeOpened) {
    busmodel::SetFaults([] {
        busmodel::Faults f;
        f.failOpen = true;
        return f;
    }());
    EXPECT_FALSE(onewire::openPort("COM1"));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoPort);
}

TEST_F(PortTest, OpeningPowersTheBusLetsItSettleTriesALineDriverAndClocksOneByte) {
    busmodel::SetDevices({thermometer(busmodel::FamilyDs18b20, 7)});
    const std::uint64_t start = busmodel::VirtualNowMs();
    open();
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    EXPECT_TRUE(linesOn());
    EXPECT_GE(busmodel::VirtualNowMs() - start, 20u);
    // The line driver's timing byte and its five parameters at 9600 baud,
    // which a passive adapter only echoes, then the one byte of eight slots.
    EXPECT_EQ(bytesWritten(), 6u + 8u);
    EXPECT_EQ(busmodel::CurrentPortState().baud, 115200u);
    EXPECT_EQ(onewire::adapterName(), "passive");
}

TEST_F(PortTest, OpeningSucceedsWithNothingConnected) {
    busmodel::SetFaults([] {
        busmodel::Faults f;
        f.noEcho = true;
        return f;
    }());
    EXPECT_TRUE(onewire::openPort("COM1"));
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
}

TEST_F(PortTest, ReopeningTheSamePortCyclesThePower) {
    open();
    const busmodel::PortState first = busmodel::CurrentPortState();
    open();
    const busmodel::PortState second = busmodel::CurrentPortState();
    EXPECT_EQ(second.opens, first.opens + 1);
    EXPECT_EQ(second.closes, first.closes + 1);
    // Unpowered, powered, and powered again with each speed change of the
    // line driver's detection.
    EXPECT_EQ(second.lineChanges, first.lineChanges + 4);
    EXPECT_TRUE(linesOn());
}

TEST_F(PortTest, InvertedLinesAreOffWhilePowered) {
    for (bool invert : {false, true}) {
        SCOPED_TRACE(invert ? "inverted" : "plain");
        onewire::setLinkOptions(invert ? onewire::InvertLines : 0u);
        open();
        EXPECT_EQ(linesOn(), !invert);
        ASSERT_TRUE(onewire::closePort());
        EXPECT_EQ(linesOn(), invert);
    }
}

TEST_F(PortTest, ToggledInversionReachesTheLinesAtTheNextReset) {
    open();
    ASSERT_TRUE(linesOn());
    onewire::setLinkOptions(onewire::InvertLines);
    EXPECT_EQ(onewire::linkOptions(), static_cast<std::uint32_t>(onewire::InvertLines));
    EXPECT_TRUE(linesOn());
    (void)onewire::busReset();
    EXPECT_FALSE(linesOn());
}

TEST_F(PortTest, ReleasingAtExitLeavesTheLinesAlone) {
    open();
    onewire::releasePortAtExit();
    EXPECT_FALSE(busmodel::CurrentPortState().open);
    EXPECT_TRUE(linesOn());
    EXPECT_FALSE(onewire::closePort());
}

}  // namespace
}  // namespace onewire_test
