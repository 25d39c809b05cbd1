// The stand-in note-taker on a thread at the far end of an in-memory line,
// driven by the PC side's note-taker object.
#include "sim/SimDevice.h"

#include <gtest/gtest.h>

#include <memory>

#include "devicefiles/DeviceEntry.h"
#include "devicelink/CNotetaker.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/MemorySimLink.h"
#include "tests/support/TempDir.h"

namespace {

constexpr DWORD kTimeout = 150;

bool NoRetry() { return false; }

class SimDeviceTest : public ::testing::Test {
protected:
    SimDeviceTest() : previous_(SetRetryPrompt(NoRetry))
    {
        api_.Attach(3, line_);
        CreateDirectoryA(dir_.file("R").c_str(), nullptr);
        CreateDirectoryA(dir_.file("R\\letters").c_str(), nullptr);
        TempDir::WriteAll(dir_.file("R\\letters\\ann.txt"), "Dear Ann");
        TempDir::WriteAll(dir_.file("R\\letters\\bob.txt"), "Dear Bob, dear Bob");
    }
    ~SimDeviceTest() override
    {
        if (device_) device_->Stop();
        SetRetryPrompt(previous_);
    }

    SimDevice& start(SimConfig config)
    {
        config.root = dir_.path();
        device_ = std::make_unique<SimDevice>(link_, config);
        device_->Start();
        return *device_;
    }
    static SimConfig Config(SimConfig::Generation generation, uint8_t model = 5, uint32_t baud = 115200)
    {
        SimConfig c;
        c.generation = generation;
        c.model = model;
        c.baud = baud;
        if (generation == SimConfig::LEGACY) c.major = 1, c.minor = 0;
        if (generation == SimConfig::VARDEN) c.major = 1, c.minor = 1;
        return c;
    }
    std::unique_ptr<CNotetaker> pc(int port = 2) { return std::make_unique<CNotetaker>(port, kTimeout, 5, 3); }
    static std::string Name(CNotetaker& nt)
    {
        char name[16];
        nt.GetDeviceName(name, sizeof name);
        return name;
    }

    MemoryLine line_;
    MemoryComApi api_;
    MemorySimLink link_{line_};
    TempDir dir_;
    std::unique_ptr<SimDevice> device_;
    RetryPrompt previous_;
};

TEST_F(SimDeviceTest, EachGenerationIdentifiesItself)
{
    SimConfig newer = Config(SimConfig::IDENT2, 11);
    newer.major = 2, newer.minor = 7;
    const struct { SimConfig config; const char* name; WORD firmware; } cases[] = {
        {Config(SimConfig::LEGACY, 2), "Tesk", 0x0100},
        {Config(SimConfig::VARDEN, 9), "Mavelx", 0x0101},
        {newer, "Teskm", 0x0207},
    };
    for (const auto& c : cases) {
        start(c.config);
        auto nt = pc();
        EXPECT_EQ(nt->GetDeviceType(), c.config.model);
        EXPECT_EQ(Name(*nt), c.name);
        EXPECT_EQ(nt->FirmwareVersion(), c.firmware);
        EXPECT_EQ(device_->CommandCount('Y') > 0, c.firmware > 0x0100) << "only newer firmware is asked for a record";
        device_->Stop();
    }
}

TEST_F(SimDeviceTest, ItAnswersOnlyAtItsOwnRate)
{
    start(Config(SimConfig::IDENT2, 5, 9600));
    auto nt = pc();
    EXPECT_EQ(nt->serialOpen(false), 0);
    EXPECT_EQ(nt->GetParameter(CComPort::PAR_BAUDRATE), 9600);
    EXPECT_EQ(device_->CommandCount('W'), 1);  // the other rates reached it as noise
    EXPECT_EQ(Name(*nt), "Corvanx");
}

TEST_F(SimDeviceTest, RepeatRequestsAreCountedExactly)
{
    start(Config(SimConfig::IDENT2));
    auto nt = pc();
    ASSERT_EQ(nt->serialOpen(false), 0);
    SimFaults faults;
    faults.repeatRequests = 4;
    device_->SetFaults(faults);
    EXPECT_EQ(nt->EnumFolder("R:\\letters\\"), 2);  // four "?", the fifth and last try answered
    EXPECT_EQ(device_->CommandCount('F'), 5);

    faults.repeatRequests = 5;
    device_->SetFaults(faults);
    EXPECT_EQ(nt->EnumFolder("R:\\letters\\"), CNotetaker::ERR_RESPONSE);
    EXPECT_EQ(device_->CommandCount('F'), 10);
}

TEST_F(SimDeviceTest, SilentLateGarbledAndDroppedReplies)
{
    start(Config(SimConfig::IDENT2));
    auto nt = pc();
    ASSERT_EQ(nt->serialOpen(false), 0);

    SimFaults late;
    late.lateMs = kTimeout / 3;
    device_->SetFaults(late);
    EXPECT_EQ(nt->EnumFolder("letters"), 2);
    late.lateMs = kTimeout * 3;
    device_->SetFaults(late);
    DWORD start = GetTickCount();
    EXPECT_EQ(nt->EnumFolder("letters"), CNotetaker::ERR_RESPONSE);
    EXPECT_LT(GetTickCount() - start, 2 * kTimeout + 1000);
    Sleep(8 * kTimeout);
    line_.Purge(MemoryLine::Side::Pc, true, false);

    SimFaults garble;
    garble.garbleReplies = 1;
    garble.garbleOffset = 21;  // the first record's type byte
    device_->SetFaults(garble);
    EXPECT_EQ(nt->EnumFolder("letters"), 2);  // asked again with "R"

    SimFaults drop;
    drop.dropAfterBytes = 1;
    device_->SetFaults(drop);
    start = GetTickCount();
    EXPECT_EQ(nt->EnumFolder("letters"), CNotetaker::ERR_RESPONSE);
    EXPECT_EQ(nt->serialCmd("x", CNotetaker::DCMD_PRINT, nullptr, 0), CComPort::ERR_NODATA);
    EXPECT_LT(GetTickCount() - start, 4 * kTimeout + 1000);

    device_->SetFaults(SimFaults());
    EXPECT_EQ(nt->EnumFolder("letters"), 2);
}

TEST_F(SimDeviceTest, AListingComesFromTheFolder)
{
    start(Config(SimConfig::IDENT2));
    auto nt = pc();
    ASSERT_EQ(nt->EnumFolder("\\"), 1);
    DeviceEntry e;
    nt->GetEntry(0, e);
    EXPECT_EQ(e.sName, "R:\\letters");
    EXPECT_EQ(e.nType, 2);
    ASSERT_EQ(nt->EnumFolder(e.sName.c_str()), 2);
    nt->GetEntry(1, e);
    EXPECT_EQ(e.sName, "bob.txt");
    EXPECT_EQ(e.nSize, 18u);
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(e.stTime.wYear, now.wYear);
}

TEST_F(SimDeviceTest, CommandsChangeTheStoreAndAnswerWithStatus)
{
    start(Config(SimConfig::IDENT2));
    auto nt = pc();
    EXPECT_EQ(nt->serialCmd("Deleting, please wait.", CNotetaker::DCMD_PRINT, nullptr, 0), 0);
    EXPECT_EQ(device_->Display(), "Deleting, please wait.");
    EXPECT_EQ(nt->serialCmd("R:\\letters\\ann.txt", CNotetaker::DCMD_DELE, nullptr, 0), 0);
    EXPECT_FALSE(TempDir::Exists(dir_.file("R\\letters\\ann.txt")));
    EXPECT_EQ(nt->serialCmd("R:\\letters\\ann.txt", CNotetaker::DCMD_DELE, nullptr, 0), CNotetaker::ERR_INVALIDPATH);
    EXPECT_EQ(nt->serialCmd("R:\\notes", CNotetaker::DCMD_MKDIR, nullptr, 0), 0);
    EXPECT_TRUE(TempDir::Exists(dir_.file("R\\notes")));
    EXPECT_EQ(nt->serialCmd2("R:\\letters\\bob.txt", "R:\\letters\\rob.txt", CNotetaker::DCMD_RENAME, nullptr, 0), 0);
    EXPECT_TRUE(TempDir::Exists(dir_.file("R\\letters\\rob.txt")));
    EXPECT_EQ(nt->serialCmd2("R:\\letters\\rob.txt", "R:\\letters\\a*b", CNotetaker::DCMD_RENAME, nullptr, 0),
              CNotetaker::ERR_INVALIDPATH);
}

TEST_F(SimDeviceTest, OlderFirmwareRefusesWhatItLacks)
{
    start(Config(SimConfig::LEGACY));
    auto nt = pc();
    EXPECT_EQ(nt->serialCmd("Hello", CNotetaker::DCMD_PRINT, nullptr, 0), CNotetaker::ERR_UNSUPPORTED);
    EXPECT_EQ(device_->Display(), "");
    EXPECT_EQ(nt->EnumFolder("letters"), 2);  // listing is as old as the device
}

}  // namespace
