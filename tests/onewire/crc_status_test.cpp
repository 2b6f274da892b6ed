#include <thread>

#include "bus_fixture.h"

namespace onewire_test {
namespace {

TEST(StatusMessage, EveryCodeHasItsText) {
    const std::pair<std::int32_t, std::string_view> table[] = {
        {0, "Нет ошибок"},
        {1, "Нет открытого COM порта"},
        {2, "Нет ответа от '1-Wire' устройств"},
        {3, "Ошибка обмена данными"},
        {4, "Ошибка изменения скорости порта"},
        {5, "Ошибка при поиске '1-Wire' устройств"},
        {6, "Ошибка в аргументе функции"},
        {7, "Нет данных"},
    };
    for (const auto& [code, text] : table) EXPECT_EQ(onewire::statusMessage(code), text) << code;
}

TEST(StatusMessage, CodesOutsideTheTableAreEmpty) {
    for (std::int32_t code : {8, -1, 100, INT32_MIN, INT32_MAX}) {
        EXPECT_TRUE(onewire::statusMessage(code).empty()) << code;
    }
}

TEST(Crc8, MatchesTheDallasCheckValues) {
    const std::string digits = "123456789";
    EXPECT_EQ(onewire::crc8(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0xA1);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);

    const std::uint8_t rom[8] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2};
    EXPECT_EQ(onewire::crc8(rom, 7), 0xA2);
    EXPECT_EQ(onewire::crc8(rom, 8), 0x00);
}

TEST(Crc8, RefusesEmptyInputWithStatus6) {
    const std::uint8_t byte = 0x55;
    EXPECT_EQ(onewire::crc8(&byte, 0), 0);
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_EQ(onewire::crc8(&byte, -5), 0);
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_EQ(onewire::crc8(nullptr, 3), 0);
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    (void)onewire::crc8(&byte, 1);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
}

TEST(Crc8, SimulatedDevicesUseTheSameCrc) {
    std::uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::uint8_t data[16];
        for (auto& byte : data) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(seed >> 16);
        }
        const std::int32_t n = 1 + round % 16;
        EXPECT_EQ(busmodel::Crc8(std::span(data, static_cast<std::size_t>(n))),
                  onewire::crc8(data, n));
    }
}

TEST(LastStatus, BelongsToTheCallingThread) {
    const std::uint8_t byte = 0;
    (void)onewire::crc8(&byte, 0);
    ASSERT_EQ(onewire::lastStatus(), onewire::BadArgument);
    std::int32_t seenByNewThread = -1;
    std::int32_t afterFailure = -1;
    std::thread other([&] {
        seenByNewThread = onewire::lastStatus();
        RomCode rom{};
        (void)onewire::searchNext(nullptr);
        afterFailure = onewire::lastStatus();
        (void)rom;
    });
    other.join();
    EXPECT_EQ(seenByNewThread, onewire::Ok);
    EXPECT_EQ(afterFailure, onewire::BadArgument);
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
}

class SearchStateTest : public BusTest {};

TEST_F(SearchStateTest, EachThreadSearchesOnItsOwn) {
    busmodel::SetDevices(
        {thermometer(busmodel::FamilyDs18b20, 1), thermometer(busmodel::FamilyDs18b20, 2)});
    open();
    onewire::searchReset();
    RomCode first{};
    ASSERT_TRUE(onewire::searchNext(&first));
    const onewire::SearchState before = onewire::searchState();

    std::vector<RomCode> otherThreadFound;
    std::int32_t initialDiscrepancy = -1;
    std::thread other([&] {
        initialDiscrepancy = onewire::searchState().lastDiscrepancy;
        otherThreadFound = enumerate();
    });
    other.join();

    EXPECT_EQ(initialDiscrepancy, 0);
    EXPECT_EQ(otherThreadFound.size(), 2u);
    EXPECT_EQ(onewire::searchState().lastDiscrepancy, before.lastDiscrepancy);
    EXPECT_EQ(onewire::searchState().rom, before.rom);
    RomCode second{};
    ASSERT_TRUE(onewire::searchNext(&second));
    EXPECT_NE(first, second);
}

}  // namespace
}  // namespace onewire_test
