// The engine against the stand-in note-taker's own YModem, on real time,
// each on its own thread as they would be at the two ends of a cable.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/CYModem.h"
#include "sim/SimYModem.h"
#include "tests/devicelink/YModemTestHarness.h"
#include "tests/support/MemorySimLink.h"

namespace ymodem_test {
namespace {

class YModemSimTest : public ::testing::Test {
protected:
    YModemSimTest()
    {
        api_.Attach(8, line_);
        EXPECT_EQ(ym_.Open(), 0);
    }
    int drive()
    {
        const DWORD start = GetTickCount();
        while (ym_.Process() > 0 && GetTickCount() - start < 60000) {
        }
        return ym_.GetParameter(CYModem::PAR_STATE) ? 1 : ym_.LastResult();
    }
    // Garbles the index-th byte that `side` sends from now on.
    void corruptOnce(MemoryLine::Side side, uint64_t index)
    {
        uint64_t seen = 0;
        line_.SetHook([this, side, index, seen](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) mutable {
            if (from != side || seen++ != index) return;
            fate.value ^= 0x10;
            ++corrupted_;
        });
    }
    int deviceToPc(const std::string& bytes, const std::string& target, bool& simOk)
    {
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        std::thread device([&] { simOk = SimYModem(link_).Send("notes.txt", data, 5000); });
        ym_.RxStart(target.c_str());
        const int result = drive();
        device.join();
        return result;
    }
    int pcToDevice(const std::string& source, std::string& name, std::string& received, bool& simOk)
    {
        std::vector<uint8_t> data;
        std::thread device([&] { simOk = SimYModem(link_).Receive(name, data, 5000); });
        ym_.TxStart(source.c_str());
        const int result = drive();
        device.join();
        received.assign(data.begin(), data.end());
        return result;
    }

    MemoryLine line_;
    MemoryComApi api_;
    TempDir dir_;
    CYModem ym_{7};
    MemorySimLink link_{line_};
    std::atomic<int> corrupted_{0};
};

TEST_F(YModemSimTest, FilesArriveIdenticalInBothDirections)
{
    for (size_t size : {0u, 1u, 129u, 1025u, 300000u}) {
        const std::string data = Pattern(size, 3);
        const std::string target = dir_.file("in-" + std::to_string(size));
        bool simOk = false;
        EXPECT_EQ(deviceToPc(data, target, simOk), 0) << size;
        EXPECT_TRUE(simOk && TempDir::ReadAll(target) == data) << size;

        const std::string source = dir_.file("out" + std::to_string(size) + ".txt");
        ASSERT_TRUE(TempDir::WriteAll(source, data));
        std::string name, received;
        EXPECT_EQ(pcToDevice(source, name, received, simOk), 0) << size;
        EXPECT_TRUE(simOk && received == data) << size << " got " << received.size();
        EXPECT_EQ(name, "out" + std::to_string(size) + ".txt");  // under its own name
    }
}

TEST_F(YModemSimTest, AByteGarbledOnTheLineIsRepairedByARepeatInEitherDirection)
{
    const std::string data = Pattern(5000, 9);
    corruptOnce(MemoryLine::Side::Device, 133 + 1029 + 500);  // inside the device's second data block
    const std::string target = dir_.file("in.bin");
    bool simOk = false;
    EXPECT_EQ(deviceToPc(data, target, simOk), 0);
    EXPECT_TRUE(simOk);
    EXPECT_TRUE(TempDir::ReadAll(target) == data);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_NAKS), 1);

    const std::string source = dir_.file("out.bin");
    ASSERT_TRUE(TempDir::WriteAll(source, data));
    corruptOnce(MemoryLine::Side::Pc, 133 + 700);  // inside the PC's first data block
    std::string name, received;
    EXPECT_EQ(pcToDevice(source, name, received, simOk), 0);
    EXPECT_TRUE(simOk);
    EXPECT_TRUE(received == data);
    EXPECT_EQ(corrupted_, 2);
}

}  // namespace
}  // namespace ymodem_test
