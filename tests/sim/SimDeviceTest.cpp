// The stand-in note-taker on a thread at the far end of an in-memory line,
// driven by the PC side's note-taker object: identification, listings,
// commands, faults on request, and files moved by the YModem engine.
#include "sim/SimDevice.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/SimOnLine.h"

namespace {

constexpr DWORD kTimeout = 150;

SimConfig Config(SimConfig::Generation generation, uint8_t model = 5, uint32_t baud = 115200)
{
    SimConfig c;
    c.generation = generation, c.model = model, c.baud = baud;
    if (generation != SimConfig::IDENT2) c.major = 1, c.minor = generation == SimConfig::VARDEN;
    return c;
}

// The device with R:\letters holding ann.txt (8 bytes) and bob.txt (18 bytes).
class SimDeviceTest : public ::testing::Test {
protected:
    SimDevice& start(SimConfig config)
    {
        nt_.reset();
        sim_.reset();  // one stand-in on the line at a time
        sim_ = std::make_unique<SimOnLine>(3, std::initializer_list<const char*>{"R", "R\\letters"}, config);
        sim_->put("R\\letters\\ann.txt", "Dear Ann");
        sim_->put("R\\letters\\bob.txt", "Dear Bob, dear Bob");
        nt_ = std::make_unique<CNotetaker>(2, kTimeout, 5, 3);
        return *sim_->device;
    }
    // Runs the engine to its end; its last result.
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

TEST_F(SimDeviceTest, EachGenerationIdentifiesItselfAtItsOwnRateAndShowsTextIfItCan)
{
    SimConfig newer = Config(SimConfig::IDENT2, 11);
    newer.major = 2, newer.minor = 7;
    const struct { SimConfig config; const char* name; WORD firmware; } cases[] = {
        {Config(SimConfig::LEGACY, 2), "Tesk", 0x0100},
        {Config(SimConfig::VARDEN, 9), "Mavelx", 0x0101},
        {newer, "Teskm", 0x0207},
        {Config(SimConfig::IDENT2, 5, 9600), "Corvanx", 0x0102},
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
        EXPECT_EQ(nt_->EnumFolder("letters"), 2);  // listing is as old as the device
    }
}

// Names, types and sizes of the records are the store's tests' business.
TEST_F(SimDeviceTest, ACountAbove255TakesBothBytesOfTheCountReply)
{
    start(Config(SimConfig::IDENT2));
    for (int i = 0; i < 260; ++i) sim_->put("R\\letters\\n" + std::to_string(i), std::string(i % 7, 'n'));
    EXPECT_EQ(nt_->EnumFolder("R:\\letters"), 262);
}

// Each fault on request as the PC sees it: the listing's result, how many
// times it was asked for and how soon it gave up.
TEST_F(SimDeviceTest, FaultsOnRequest)
{
    SimDevice& device = start(Config(SimConfig::IDENT2));
    ASSERT_EQ(nt_->serialOpen(false), 0);
    SimFaults asked4, asked5, early, late, garbled, cut;
    asked4.repeatRequests = 4;  // the fifth and last try is answered
    asked5.repeatRequests = 5;
    early.lateMs = kTimeout / 3;
    late.lateMs = kTimeout * 3;
    garbled.garbleReplies = 1;
    garbled.garbleOffset = 21;  // the first record's type byte: asked again with "R"
    cut.dropAfterBytes = 1;     // then silent
    const struct { SimFaults faults; int listed, asked; DWORD within; } rows[] = {
        {asked4, 2, 5, 0}, {asked5, CNotetaker::ERR_RESPONSE, 5, 0}, {early, 2, 1, 0},
        {late, CNotetaker::ERR_RESPONSE, 1, 2 * kTimeout + 1000}, {garbled, 2, 1, 0},
        {cut, CNotetaker::ERR_RESPONSE, 1, 4 * kTimeout + 1000},
    };
    for (const auto& r : rows) {
        device.SetFaults(r.faults);
        const int before = device.CommandCount('F');
        const DWORD start = GetTickCount();
        EXPECT_EQ(nt_->EnumFolder("letters"), r.listed) << &r - rows;
        if (r.within) EXPECT_LT(GetTickCount() - start, r.within) << &r - rows;
        EXPECT_EQ(device.CommandCount('F') - before, r.asked) << &r - rows;
        if (r.listed > 0) continue;
        Sleep(8 * kTimeout);  // a late reply passes
        sim_->line.Purge(MemoryLine::Side::Pc, true, false);
    }
    EXPECT_EQ(nt_->serialCmd("x", CNotetaker::DCMD_PRINT, nullptr, 0), CComPort::ERR_NODATA);
    device.SetFaults(SimFaults());
    EXPECT_EQ(nt_->EnumFolder("letters"), 2);
}

TEST_F(SimDeviceTest, CommandsChangeTheStore)
{
    start(Config(SimConfig::IDENT2));
    EXPECT_EQ(nt_->serialCmd("R:\\letters\\ann.txt", CNotetaker::DCMD_DELE, nullptr, 0), 0);
    EXPECT_FALSE(TempDir::Exists(sim_->path("R\\letters\\ann.txt")));
    EXPECT_EQ(nt_->serialCmd("R:\\letters\\ann.txt", CNotetaker::DCMD_DELE, nullptr, 0), CNotetaker::ERR_INVALIDPATH);
    EXPECT_EQ(nt_->serialCmd("R:\\notes", CNotetaker::DCMD_MKDIR, nullptr, 0), 0);
    EXPECT_TRUE(TempDir::Exists(sim_->path("R\\notes")));
    EXPECT_EQ(nt_->serialCmd2("R:\\letters\\bob.txt", "R:\\letters\\rob.txt", CNotetaker::DCMD_RENAME, nullptr, 0), 0);
    EXPECT_TRUE(TempDir::Exists(sim_->path("R\\letters\\rob.txt")));
    EXPECT_EQ(nt_->serialCmd2("R:\\letters\\rob.txt", "R:\\letters\\a*b", CNotetaker::DCMD_RENAME, nullptr, 0),
              CNotetaker::ERR_INVALIDPATH);
}

TEST_F(SimDeviceTest, FilesTravelBothWaysAndWhatIsMissingIsRefused)
{
    start(Config(SimConfig::IDENT2));
    std::string content(3000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    sim_->put("R\\letters\\ann.txt", content);
    ASSERT_EQ(nt_->serialCmd("letters\\ann.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_->RxStart(pc_.file("ann.txt").c_str()), 0);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(TempDir::ReadAll(pc_.file("ann.txt")), content);

    TempDir::WriteAll(pc_.file("bob.txt"), content.substr(1500));
    unsigned char answer = 0;
    ASSERT_EQ(nt_->serialCmd("R:\\letters\\", CNotetaker::DCMD_TX, &answer, 1), 0);
    EXPECT_EQ(answer, 0x05);
    nt_->RxClear();
    ASSERT_EQ(nt_->TxStart(pc_.file("bob.txt").c_str()), 0);
    EXPECT_EQ(run(), 0);
    Sleep(200);
    EXPECT_EQ(sim_->read("R\\letters\\bob.txt"), content.substr(1500));
    EXPECT_EQ(nt_->EnumFolder("letters"), 2);  // nothing stray follows the closing block

    ASSERT_EQ(nt_->serialCmd("R:\\nowhere\\", CNotetaker::DCMD_TX, &answer, 1), 0);
    EXPECT_NE(answer, 0x05);
    ASSERT_EQ(nt_->serialCmd("letters\\nobody.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_->RxStart(pc_.file("nobody.txt").c_str()), 0);
    EXPECT_LT(run(), 0);
}

// A PC that closes its port at once can lose its last ACK on the way; the
// device must still hear the next command instead of sending the closing
// block again for seconds.
TEST_F(SimDeviceTest, ALostFinalAckDoesNotSwallowTheNextCommand)
{
    start(Config(SimConfig::IDENT2));
    int acks = 0;
    sim_->line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        // header, data block, EOT, closing block: the fourth ACK is the last
        if (from == MemoryLine::Side::Pc && fate.value == 0x06 && ++acks == 4) fate.drop = true;
    });
    ASSERT_EQ(nt_->serialCmd("letters\\ann.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_->RxStart(pc_.file("ann.txt").c_str()), 0);
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(acks, 4);
    unsigned char ident[2] = {};
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt_->serialCmd(nullptr, CNotetaker::DCMD_IDENT, ident, 2), 0);
    EXPECT_EQ(ident[0], 5);
    EXPECT_LT(GetTickCount() - start, 1500u);
}

}  // namespace
