// The stand-in note-taker at the far end of an in-memory line, driven by the PC side's
// note-taker object: identification, listings, faults on request and files both ways.
#include "sim/SimDevice.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/SimOnLine.h"

namespace {

constexpr DWORD kTimeout = 150;

// The device with R:\letters holding ann.txt (8 bytes) and bob.txt (18 bytes).
class SimDeviceTest : public ::testing::Test {
protected:
    SimDevice& start(SimConfig config = SimConfig())
    {
        nt_.reset();
        sim_.reset();  // one stand-in on the line at a time
        sim_ = std::make_unique<SimOnLine>(3, std::initializer_list<const char*>{"R", "R\\letters"}, config);
        sim_->put("R\\letters\\ann.txt", "Dear Ann");
        sim_->put("R\\letters\\bob.txt", "Dear Bob, dear Bob");
        nt_ = std::make_unique<CNotetaker>(2, kTimeout, 5, 3);
        return *sim_->device;
    }
    int run()
    {
        int state = 1;
        for (const DWORD start = GetTickCount(); state > 0 && GetTickCount() - start < 30000;) state = nt_->Process();
        return state;
    }
    TempDir pc_;
    std::unique_ptr<SimOnLine> sim_;
    std::unique_ptr<CNotetaker> nt_;
};

// Each generation at its own rate; a count above 255 takes both bytes of the count reply.
TEST_F(SimDeviceTest, EachGenerationIdentifiesItselfAtItsOwnRateShowsTextIfItCanAndLists)
{
    // Model, generation, the version of the newest generation, rate.
    const struct {
        SimConfig config;
        const char* name;
        WORD firmware;
    } cases[] = {
        {{2, SimConfig::LEGACY}, "Tesk", 0x0100},
        {{9, SimConfig::VARDEN}, "Mavelx", 0x0101},
        {{11, SimConfig::IDENT2, 2, 7}, "Teskm", 0x0207},
        {{5, SimConfig::IDENT2, 1, 2, 9600}, "Corvanx", 0x0102},
    };
    for (const auto& c : cases) {
        SimDevice& device = start(c.config);
        EXPECT_EQ(nt_->GetDeviceType(), c.config.model);
        char name[16];
        nt_->GetDeviceName(name, sizeof name);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(nt_->FirmwareVersion(), c.firmware);
        EXPECT_EQ(nt_->GetParameter(CComPort::PAR_BAUDRATE), static_cast<int>(c.config.baud));
        EXPECT_EQ(device.CommandCount('Y') > 0, c.firmware > 0x0100) << "only newer firmware is asked for a record";
        EXPECT_EQ(device.CommandCount('W'), 1) << "other rates reach it as noise";
        const bool shows = c.firmware > 0x0100;
        EXPECT_EQ(nt_->serialCmd("Hi", CNotetaker::DCMD_PRINT, nullptr, 0), shows ? 0 : CNotetaker::ERR_UNSUPPORTED);
        EXPECT_EQ(device.Display(), shows ? "Hi" : "");
        for (int i = 0; i < 260 && c.firmware == 0x0102; ++i) sim_->put("R\\letters\\n" + std::to_string(i), "n");
        EXPECT_EQ(nt_->EnumFolder("letters"), c.firmware == 0x0102 ? 262 : 2);  // listing is as old as the device
    }
}

// Each fault on request as the PC sees it: the listing's result, how many
// times it was asked for, and whether it gave up before a late reply came.
TEST_F(SimDeviceTest, FaultsOnRequest)
{
    SimDevice& device = start();
    ASSERT_EQ(nt_->serialOpen(false), 0);
    // Repeat requests, late replies, a garbled reply and a cut one, in SimFaults' field order.
    const struct {
        SimFaults faults;
        int listed, asked;
        bool beforeReply;
    } rows[] = {
        {{4}, 2, 5, false},  // the fifth and last try is answered
        {{5}, CNotetaker::ERR_RESPONSE, 5, false},
        {{0, false, kTimeout / 3}, 2, 1, false},
        {{0, false, kTimeout * 3}, CNotetaker::ERR_RESPONSE, 1, true},
        {{0, false, 0, 1, 21}, 2, 1, false},  // the first record's type byte: asked again with "R"
        {{0, false, 0, 0, 0, 1}, CNotetaker::ERR_RESPONSE, 1, false},  // one byte, then silent: it ends
    };
    for (const auto& r : rows) {
        device.SetFaults(r.faults);
        const int before = device.CommandCount('F');
        EXPECT_EQ(nt_->EnumFolder("letters"), r.listed) << &r - rows;
        if (r.beforeReply) {
            EXPECT_EQ(sim_->line.Available(MemoryLine::Side::Pc), 0u) << &r - rows;
        }
        EXPECT_EQ(device.CommandCount('F') - before, r.asked) << &r - rows;
        if (r.listed > 0) continue;
        Sleep(8 * kTimeout);  // a late reply passes
        sim_->line.Purge(MemoryLine::Side::Pc, true, false);
    }
    EXPECT_EQ(nt_->serialCmd("x", CNotetaker::DCMD_PRINT, nullptr, 0), CComPort::ERR_NODATA);
    device.SetFaults(SimFaults());
    EXPECT_EQ(nt_->EnumFolder("letters"), 2);
}

// Files both ways. A PC that closes its port at once can lose its last ACK
// on the way; the device must still hear the next command instead of sending
// the closing block again for seconds. What is missing is refused.
TEST_F(SimDeviceTest, FilesTravelBothWaysALostFinalAckDoesNoHarmAndWhatIsMissingIsRefused)
{
    start();
    int acks = 0;
    size_t afterBatch = 0;  // bytes the device sends once the PC has ended the batch
    sim_->line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        if (from == MemoryLine::Side::Device && acks >= 4) ++afterBatch;
        // header, data block, EOT, closing block: the fourth ACK is the last
        if (from == MemoryLine::Side::Pc && fate.value == 0x06 && ++acks == 4) fate.drop = true;
    });
    ASSERT_EQ(nt_->serialCmd("letters\\ann.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_->RxStart(pc_.file("ann.txt").c_str()), 0);
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(acks == 4 && TempDir::ReadAll(pc_.file("ann.txt")) == "Dear Ann");
    unsigned char answer[2] = {};
    EXPECT_EQ(nt_->serialCmd(nullptr, CNotetaker::DCMD_IDENT, answer, 2), 0);
    EXPECT_EQ(answer[0], 5);
    EXPECT_LT(afterBatch, 133u) << "the closing block (133 bytes) was sent again";

    std::string content(1500, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    TempDir::WriteAll(pc_.file("bob.txt"), content);
    ASSERT_EQ(nt_->serialCmd("R:\\letters\\", CNotetaker::DCMD_TX, answer, 1), 0);
    EXPECT_EQ(answer[0], 0x05);
    nt_->RxClear();
    ASSERT_EQ(nt_->TxStart(pc_.file("bob.txt").c_str()), 0);
    EXPECT_EQ(run(), 0);
    // The stand-in writes the file at the batch's end, before it hears the
    // next command: nothing stray follows the closing block.
    EXPECT_EQ(nt_->EnumFolder("letters"), 2);
    EXPECT_EQ(sim_->read("R\\letters\\bob.txt"), content);

    ASSERT_EQ(nt_->serialCmd("R:\\nowhere\\", CNotetaker::DCMD_TX, answer, 1), 0);
    EXPECT_NE(answer[0], 0x05);
    ASSERT_EQ(nt_->serialCmd("letters\\nobody.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_->RxStart(pc_.file("nobody.txt").c_str()), 0);
    EXPECT_LT(run(), 0);
}

}  // namespace
