// Reset pulses, time slots and block transfers against the simulated adapter.
#include "bus_fixture.h"
#include "platform/clock.h"

namespace onewire_test {
namespace {

using busmodel::Faults;

class LinkTest : public BusTest {
  protected:
    void withDevice() { busmodel::SetDevices({thermometer(busmodel::FamilyDs18b20, 0x1234)}); }
};

struct ResetCase {
    const char* name;
    bool device;
    Faults faults;
    bool presence;
    std::int32_t status;
};

Faults faults(void (*set)(Faults&)) {
    Faults f;
    set(f);
    return f;
}

TEST_F(LinkTest, ResetOutcomes) {
    const ResetCase cases[] = {
        {"device answers", true, {}, true, onewire::Ok},
        {"nobody on the bus", false, {}, false, onewire::NoResponse},
        {"shorted wire reads as presence", false, faults([](Faults& f) { f.shorted = true; }), true,
         onewire::Ok},
        {"no echo", true, faults([](Faults& f) { f.noEcho = true; }), false,
         onewire::ExchangeError},
        {"two echoes", true, faults([](Faults& f) { f.doubleEcho = true; }), false,
         onewire::ExchangeError},
        {"write fails", true, faults([](Faults& f) { f.writeLimit = 0; }), false,
         onewire::ExchangeError},
        {"switch to 9600 fails", true, faults([](Faults& f) { f.failResetSpeed = true; }), false,
         onewire::SpeedChangeError},
        {"switch back fails, presence stands", true,
         faults([](Faults& f) { f.failDataSpeed = true; }), true, onewire::SpeedChangeError},
    };
    for (const ResetCase& c : cases) {
        SCOPED_TRACE(c.name);
        busmodel::ResetBus();
        if (c.device) withDevice();
        open();
        busmodel::SetFaults(c.faults);
        EXPECT_EQ(onewire::busReset(), c.presence);
        EXPECT_EQ(onewire::lastStatus(), c.status);
        EXPECT_EQ(onewire::inputWaiting(), 0);
    }
}

TEST_F(LinkTest, ResetWithoutEchoGivesUpAfter32Ms) {
    withDevice();
    open();
    for (std::uint32_t options : {0u, static_cast<std::uint32_t>(onewire::ReduceCpuLoad)}) {
        onewire::setLinkOptions(options);
        busmodel::SetFaults(faults([](Faults& f) { f.noEcho = true; }));
        const std::uint64_t start = busmodel::VirtualNowMs();
        EXPECT_FALSE(onewire::busReset());
        EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
        const std::uint64_t spent = busmodel::VirtualNowMs() - start;
        EXPECT_GE(spent, 32u);
        EXPECT_LE(spent, 34u);
    }
}

TEST_F(LinkTest, FailedSwitchTo9600SendsNothing) {
    withDevice();
    open();
    busmodel::SetFaults(faults([](Faults& f) { f.failResetSpeed = true; }));
    const std::uint64_t before = bytesWritten();
    EXPECT_FALSE(onewire::busReset());
    EXPECT_EQ(bytesWritten(), before);
    EXPECT_EQ(busmodel::CurrentPortState().baud, 115200u);
}

TEST_F(LinkTest, FailedSwitchBackLeavesThePortSlowUntilALaterChange) {
    withDevice();
    open();
    busmodel::SetFaults(faults([](Faults& f) { f.failDataSpeed = true; }));
    EXPECT_TRUE(onewire::busReset());
    EXPECT_EQ(busmodel::CurrentPortState().baud, 9600u);
    busmodel::SetFaults({});
    EXPECT_TRUE(onewire::busReset());
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    EXPECT_EQ(busmodel::CurrentPortState().baud, 115200u);
}

TEST_F(LinkTest, ReadBytesDecodesEchoesLeastSignificantBitFirst) {
    open();
    const struct {
        std::vector<std::uint8_t> echoes;
        std::uint8_t value;
    } cases[] = {
        {{0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, 0x0D},
        {{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, 0x7E},  // only exact 0xFF reads 1
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFF},
        {{0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0xEF}, 0x00},
    };
    for (const auto& c : cases) {
        busmodel::ScriptEchoes(c.echoes);
        std::uint8_t value = 0x5A;
        ASSERT_TRUE(onewire::readBytes(&value, 1));
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(LinkTest, BadTransferArgumentsSendNothing) {
    open();
    std::uint8_t buffer[4]{};
    const std::uint64_t before = bytesWritten();
    const struct {
        const char* name;
        bool (*call)(std::uint8_t*);
    } cases[] = {
        {"write 0 bytes", [](std::uint8_t* b) { return onewire::writeBytes(b, 0); }},
        {"write 1000000 bytes", [](std::uint8_t* b) { return onewire::writeBytes(b, 1000000); }},
        {"write negative count", [](std::uint8_t* b) { return onewire::writeBytes(b, -1); }},
        {"write from null", [](std::uint8_t*) { return onewire::writeBytes(nullptr, 1); }},
        {"read 0 bytes", [](std::uint8_t* b) { return onewire::readBytes(b, 0); }},
        {"read 1000000 bytes", [](std::uint8_t* b) { return onewire::readBytes(b, 1000000); }},
        {"read into null", [](std::uint8_t*) { return onewire::readBytes(nullptr, 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.call(buffer));
        EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    }
    EXPECT_EQ(bytesWritten(), before);
    // Arguments are judged before the port.
    ASSERT_TRUE(onewire::closePort());
    EXPECT_FALSE(onewire::writeBytes(nullptr, 1));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
}

TEST_F(LinkTest, WriteByteOfZeroIsEightWriteZeroSlots) {
    withDevice();
    open();
    const std::uint64_t before = bytesWritten();
    EXPECT_TRUE(onewire::writeByte(0x00));
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    EXPECT_EQ(bytesWritten() - before, 8u);
}

TEST_F(LinkTest, ShortOrMissingEchoesFailTheBlockAndLeaveNoStaleEcho) {
    open();
    const struct {
        const char* name;
        Faults faults;
    } cases[] = {
        {"write reported short", faults([](Faults& f) { f.writeLimit = 5; })},
        {"echo lost half-way", faults([](Faults& f) { f.echoesBeforeUnplug = 10; })},
        {"echo doubled", faults([](Faults& f) { f.doubleEcho = true; })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool reading : {true, false}) {
            busmodel::SetFaults(c.faults);
            std::uint8_t data[9]{};
            EXPECT_FALSE(reading ? onewire::readBytes(data, 9) : onewire::writeBytes(data, 2));
            EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
            // The next transfer must not take the failed one's echoes for its own.
            busmodel::SetFaults({});
            busmodel::ScriptEchoes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
            std::uint8_t value = 0;
            EXPECT_TRUE(onewire::readBytes(&value, 1));
            EXPECT_EQ(value, 0xFE);
        }
    }
}

TEST_F(LinkTest, BlockWaitEndsAtTwoMsPerByteAnd36) {
    withDevice();
    open();
    for (std::uint32_t options : {0u, static_cast<std::uint32_t>(onewire::ReduceCpuLoad)}) {
        onewire::setLinkOptions(options);
        busmodel::SetFaults(faults([](Faults& f) { f.echoesBeforeUnplug = 3; }));
        std::uint8_t data[9]{};
        const std::uint64_t start = busmodel::VirtualNowMs();
        EXPECT_FALSE(onewire::readBytes(data, 9));
        const std::uint64_t spent = busmodel::VirtualNowMs() - start;
        EXPECT_GE(spent, 2u * 9 + 36);
        EXPECT_LE(spent, 2u * 9 + 36 + 2);
    }
}

// With ReduceCpuLoad each slot and block wait still sleeps before it looks at
// the port; without it an echo that is already there costs no time at all.
TEST_F(LinkTest, ReduceCpuLoadPacesSlotAndBlockWaits) {
    withDevice();
    open();
    struct Case {
        std::uint32_t options;
        std::uint64_t slotMs;
        std::uint64_t blockMs;
    };
    for (const Case c : {Case{0u, 0, 0}, Case{onewire::ReduceCpuLoad, 1, 2}}) {
        onewire::setLinkOptions(c.options);
        std::uint64_t start = busmodel::VirtualNowMs();
        EXPECT_EQ(onewire::readSlot(true, true, true), 1);
        EXPECT_EQ(busmodel::VirtualNowMs() - start, c.slotMs);
        start = busmodel::VirtualNowMs();
        EXPECT_TRUE(onewire::writeByte(0xCC));
        EXPECT_EQ(busmodel::VirtualNowMs() - start, c.blockMs);
    }
}

TEST_F(LinkTest, ExchangeByteReadsTheBusOrReportsTheMissingEcho) {
    open();
    EXPECT_EQ(onewire::exchangeByte(0xFF), 0xFF);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);

    busmodel::SetFaults(faults([](Faults& f) { f.noEcho = true; }));
    EXPECT_EQ(onewire::exchangeByte(0xFF), 0xFF);
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);

    busmodel::SetFaults({});
    busmodel::ScriptEchoes({0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(onewire::exchangeByte(0xFF), 0x0D);
}

TEST_F(LinkTest, FullReadSlotWithoutEchoReadsOneAfter36Ms) {
    open();
    busmodel::SetFaults(faults([](Faults& f) { f.noEcho = true; }));
    const std::uint64_t start = busmodel::VirtualNowMs();
    EXPECT_EQ(onewire::readSlot(true, true, true), 1);
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    const std::uint64_t spent = busmodel::VirtualNowMs() - start;
    EXPECT_GE(spent, 36u);
    EXPECT_LE(spent, 37u);
}

// A clock on which every reading costs a millisecond, as a busy loop costs
// processor time on the real one.
std::uint64_t tickingNowMs = 0;
const platform::ClockOps tickingClock{
    [](std::uint32_t ms) { tickingNowMs += ms; },
    [] { return tickingNowMs++; },
};

TEST_F(LinkTest, SlotsWithoutAPortDoNotWaitForAnEchoThatCannotCome) {
    platform::UseClock(&tickingClock);
    tickingNowMs = 0;
    EXPECT_EQ(onewire::readSlot(false, false, true), 1);
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    onewire::writeSlot(1, true, true);
    EXPECT_LT(tickingNowMs, onewire::SlotEchoLimitMs);
}

TEST_F(LinkTest, EveryOperationNeedsAnOpenPort) {
    const struct {
        const char* name;
        bool (*call)();
    } cases[] = {
        {"busReset", [] { return onewire::busReset(); }},
        {"writeByte", [] { return onewire::writeByte(0xCC); }},
        {"readBytes",
         [] {
             std::uint8_t b[2];
             return onewire::readBytes(b, 2);
         }},
        {"exchangeByte", [] { return onewire::exchangeByte(0xFF) != 0; }},
        {"searchNext",
         [] {
             RomCode r{};
             return onewire::searchNext(&r);
         }},
        {"matchRom",
         [] {
             RomCode r{};
             return onewire::matchRom(&r);
         }},
        {"matchRom without code", [] { return onewire::matchRom(nullptr); }},
        {"resetAndSkipRom", [] { return onewire::resetAndSkipRom(); }},
        {"startConversion", [] { return onewire::startConversion(0); }},
        {"readScratchpad",
         [] {
             std::uint8_t b[9];
             return onewire::readScratchpad(b);
         }},
        {"readScratchpad without place", [] { return onewire::readScratchpad(nullptr); }},
        {"matchRomAndReadScratchpad",
         [] {
             RomCode r{};
             std::uint8_t b[9];
             return onewire::matchRomAndReadScratchpad(&r, b);
         }},
        {"readPowerSupply", [] { return onewire::readPowerSupply() != 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(onewire::lastStatus(), onewire::NoPort);
    }
}

TEST_F(LinkTest, SuccessClearsAnEarlierFailure) {
    open();
    EXPECT_FALSE(onewire::busReset());
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);  // reading does not clear it
    withDevice();
    EXPECT_TRUE(onewire::resetAndSkipRom());
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
}

}  // namespace
}  // namespace onewire_test
