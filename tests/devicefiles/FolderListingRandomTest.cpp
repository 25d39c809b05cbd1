// Seeded random records and counts from the stand-in note-taker: every
// listing must end, with valid entries or an error.
#include <gtest/gtest.h>

#include <random>

#include "devicefiles/DeviceEntry.h"
#include "tests/support/SimOnLine.h"

namespace {

constexpr DWORD kTimeout = 25;

std::vector<uint8_t> RandomRecord(std::mt19937& rng)
{
    std::uniform_int_distribution<int> byte(0, 255), pick(0, 99);
    const int shape = pick(rng);
    const size_t size = shape < 85 ? 31 : shape < 95 ? static_cast<size_t>(pick(rng) % 31) : 31 + pick(rng) % 40;
    std::vector<uint8_t> r(size);
    for (auto& b : r) b = static_cast<uint8_t>(byte(rng));
    if (size > 21 && pick(rng) < 70) r[21] = static_cast<uint8_t>(1 + pick(rng) % 4);  // mostly valid types
    if (size > 10 && pick(rng) < 60) r[pick(rng) % 11 + 5] = 0;                          // mostly a NUL in the name
    if (!r.empty() && r[0] == '?') r[0] = 'q';  // a "?" first is the repeat request, tested elsewhere
    return r;
}

SimRawListing RandomListing(std::mt19937& rng)
{
    std::uniform_int_distribution<int> pick(0, 99);
    SimRawListing listing;
    const int shape = pick(rng);
    const int count = shape < 70 ? pick(rng) % 12 : shape < 80 ? 65535 : shape < 90 ? pick(rng) * 600 : 0;
    listing.count = {static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8)};
    if (pick(rng) < 5) listing.count.resize(pick(rng) % 2);  // a count cut short
    const int records = std::min(count, 12) + pick(rng) % 3;
    for (int i = 0; i < records; ++i) listing.records.push_back(RandomRecord(rng));
    return listing;
}

bool Valid(const DeviceEntry& e)
{
    const SYSTEMTIME& t = e.stTime;
    return e.nType >= DeviceEntry::TYPE_FILE && e.nType <= DeviceEntry::TYPE_SPECIAL &&
           e.sName.size() <= 26 &&  // a folder: "R:\d\" and up to 21 characters
           t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wHour <= 23 && t.wMinute <= 59 &&
           t.wYear >= 1980 && t.wYear <= 2155;
}

TEST(FolderListingRandom, EveryListingEndsWithEntriesOrAnError)
{
    SimOnLine sim(3);
    CNotetaker nt(2, kTimeout, 2, 1);
    // Detection with replies due in 25 ms can miss on a busy machine; only the listings are under test.
    int opened = -1;
    for (int attempt = 0; attempt < 5 && opened != 0; ++attempt) opened = nt.serialOpen(false);
    ASSERT_EQ(opened, 0);

    std::mt19937 rng(20261206);
    int listings = 0, failures = 0, records = 0;
    for (int i = 0; i < 300; ++i) {
        const SimRawListing listing = RandomListing(rng);
        records += static_cast<int>(listing.records.size());
        sim.device->SetRawListing(listing);
        const DWORD start = GetTickCount();
        const int result = nt.EnumFolder(i % 10 == 0 ? "\\" : "R:\\d\\");
        // Each record costs at most its retries and a silent one ends the
        // listing: this bound only catches a listing that never ends.
        EXPECT_LT(GetTickCount() - start, 40 * kTimeout + 20000) << "listing " << i;
        if (result < 0) {
            ++failures;
            EXPECT_TRUE(result == CNotetaker::ERR_RESPONSE || result == CComPort::ERR_NODATA) << result;
            continue;
        }
        ++listings;
        EXPECT_LE(result, 65535);
        DeviceEntry e;
        for (int k = 0; k < result; ++k) {
            ASSERT_EQ(nt.GetEntry(static_cast<size_t>(k), e), 0);
            EXPECT_TRUE(Valid(e)) << "listing " << i << " entry " << k << ": " << e.sName << " type " << e.nType;
        }
        EXPECT_EQ(nt.GetEntry(static_cast<size_t>(result), e), CComPort::ERR_BADPARAM);
    }
    EXPECT_GT(records, 2000);
    EXPECT_GT(listings, 30);
    EXPECT_GT(failures, 30);
}

}  // namespace
