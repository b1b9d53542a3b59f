#include "disk/aspi_disk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/fake_aspi.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using Bytes = std::vector<uint8_t>;

class AspiDiskTest : public ::testing::Test {
 protected:
  // Opens 0:3:0 on the fake; the result of Open.
  int OpenDrive(const char* name = "0:3:0") {
    disk.SetName(name);
    return disk.Open(0);
  }

  // The image: block b holds the byte (b & 0xFF) throughout.
  void FillImage(uint32_t blocks, uint32_t length) {
    Bytes image(static_cast<size_t>(blocks) * length);
    for (uint32_t b = 0; b < blocks; ++b) {
      std::memset(image.data() + static_cast<size_t>(b) * length, static_cast<int>(b & 0xFF),
                  length);
    }
    aspi.SetImage(image);
  }

  // The SC_EXEC_SCSI_CMD operation codes sent, in order.
  Bytes Opcodes() const {
    Bytes codes;
    for (const Bytes& cdb : aspi.Cdbs()) codes.push_back(cdb[0]);
    return codes;
  }

  FakeAspiLibrary aspi;
  AspiDisk disk{&aspi};
};

struct NameCase {
  const char* name;
  int32_t hostAdapter, target, lun;  // expected; the disk started at -1:7:5
};

// Reads the address back through the request block Open sends.
TEST_F(AspiDiskTest, SetNameReadsTheAddressAsScanfWould) {
  const NameCase cases[] = {
      {"0:3:0", 0, 3, 0},    {"1", 1, 0, 0},      {"2:5", 2, 5, 0},    {"3", 3, 0, 0},
      {" 4: 6: 1", 4, 6, 1}, {"+1:2:3", 1, 2, 3}, {"1 :2:3", 1, 0, 0}, {"1:x:3", 1, 0, 0},
      {"x", 9, 0, 0},        {"", 9, 7, 5},       {"   ", 9, 7, 5},    {"1:2:3:4", 1, 2, 3},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAspiLibrary library;
    library.AddDevice(c.hostAdapter, c.target, c.lun);
    AspiDisk d(&library);
    d.SetName("9:7:5");
    EXPECT_EQ(d.SetName(c.name), 0);
    EXPECT_STREQ(d.GetName(), c.name);
    ASSERT_EQ(d.Open(0), 0);
    const Bytes& inquiry = library.Requests()[0].block;
    EXPECT_EQ(inquiry[0], 1);
    EXPECT_EQ(inquiry[2], c.hostAdapter);
    EXPECT_EQ(inquiry[8], c.target);
    EXPECT_EQ(inquiry[9], c.lun);
  }
}

TEST_F(AspiDiskTest, OpenSendsInquiryTestUnitReadyAndReadCapacity) {
  aspi.SetCapacity(999, 512);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(aspi.SupportInfoCalls(), 1);
  ASSERT_EQ(aspi.Requests().size(), 3u);
  EXPECT_THAT(aspi.Requests()[0].block, ElementsAre(1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0));

  Bytes tur(80, 0);
  tur[0] = 2;
  tur[3] = 0x48;
  tur[8] = 3;
  tur[20] = 14;
  tur[21] = 6;
  EXPECT_THAT(aspi.Requests()[1].block, ElementsAreArray(tur));
  EXPECT_EQ(aspi.Requests()[1].locations.buffer, nullptr);
  EXPECT_NE(aspi.Requests()[1].locations.event, nullptr);

  Bytes capacity = tur;
  capacity[12] = 8;
  capacity[21] = 10;
  capacity[48] = 0x25;
  EXPECT_THAT(aspi.Requests()[2].block, ElementsAreArray(capacity));
  EXPECT_NE(aspi.Requests()[2].locations.buffer, nullptr);

  const DeviceGeometry g = disk.GetGeometry();
  EXPECT_EQ(g.bytesPerSector, 512);
  EXPECT_EQ(g.capacity, 999);  // the last block of 1000, not their number
  EXPECT_EQ(g.baseSector, 0);
  EXPECT_EQ(disk.GetError(), 0);
}

TEST_F(AspiDiskTest, NotReadyTwiceThenReadyOpensAfterTwoPauses) {
  aspi.NotReady(2);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(aspi.Pauses(), 2);
  EXPECT_EQ(aspi.PausedMilliseconds(), 1000u);
  EXPECT_THAT(Opcodes(), ElementsAre(0x00, 0x00, 0x00, 0x25));
}

TEST_F(AspiDiskTest, UnitAttentionIsRetriedAsNotReady) {
  aspi.NotReady(1, 6);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(aspi.Pauses(), 1);
}

TEST_F(AspiDiskTest, StayingNotReadyFailsAfterFiveAttemptsAndFourPauses) {
  aspi.NotReady(5);
  EXPECT_EQ(OpenDrive(), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
  EXPECT_EQ(aspi.Pauses(), 4);
  EXPECT_THAT(Opcodes(), ElementsAre(0x00, 0x00, 0x00, 0x00, 0x00));
}

TEST_F(AspiDiskTest, OtherSenseKeyIsNotRetried) {
  aspi.NotReady(1, 3);
  EXPECT_EQ(OpenDrive(), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
  EXPECT_EQ(aspi.Pauses(), 0);
  EXPECT_THAT(Opcodes(), ElementsAre(0x00));
}

TEST_F(AspiDiskTest, CommandsThatCompleteLaterAreWaitedFor) {
  aspi.CompleteOnWait(true);
  aspi.SetCapacity(99, 512);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(aspi.Waits(), 2);
  EXPECT_EQ(disk.GetGeometry().capacity, 99);
}

TEST_F(AspiDiskTest, TestUnitReadyTimeoutSendsAbortAndFailsAtOnce) {
  aspi.TimeOutNext(0x00);
  EXPECT_EQ(OpenDrive(), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
  ASSERT_EQ(aspi.Requests().size(), 3u);
  const FakeAspiLibrary::Request& tur = aspi.Requests()[1];
  const FakeAspiLibrary::Request& abort = aspi.Requests()[2];
  EXPECT_THAT(abort.block, ElementsAre(3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(abort.locations.toAbort, tur.address);
  // One wait that timed out, one for the aborted request to finish; no retry.
  EXPECT_EQ(aspi.Waits(), 2);
  EXPECT_EQ(aspi.Pauses(), 0);
}

TEST_F(AspiDiskTest, AbortCarriesTheHostAdapterOfTheRequest) {
  aspi.AddDevice(2, 1, 0);
  aspi.SetSupportInfo(0x0103);
  ASSERT_EQ(OpenDrive("2:1:0"), 0);
  aspi.TimeOutNext(0x08);
  uint8_t buffer[512];
  EXPECT_EQ(disk.Read(buffer, 1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
  EXPECT_THAT(aspi.Requests().back().block, ElementsAre(3, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0));
}

TEST_F(AspiDiskTest, ReadCapacityTimeoutFailsOpen) {
  aspi.TimeOutNext(0x25);
  EXPECT_EQ(OpenDrive(), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
  EXPECT_EQ(aspi.Requests().back().block[0], 3);
}

TEST_F(AspiDiskTest, OpenFailuresAllRecordDeviceErrorOpen) {
  struct Case {
    const char* what;
    void (*setup)(FakeAspiLibrary*);
    const char* name;
  };
  const Case cases[] = {
      {"library missing", [](FakeAspiLibrary* a) { a->SetLoadable(false); }, "0:3:0"},
      {"no SendASPI32Command", [](FakeAspiLibrary* a) { a->SetEntryPoints(false, true); }, "0:3:0"},
      {"no GetASPI32SupportInfo", [](FakeAspiLibrary* a) { a->SetEntryPoints(true, false); },
       "0:3:0"},
      {"support status not SS_COMP", [](FakeAspiLibrary* a) { a->SetSupportInfo(0x0401); },
       "0:3:0"},
      {"no host adapter", [](FakeAspiLibrary* a) { a->SetSupportInfo(0x0100); }, "0:3:0"},
      {"no device", [](FakeAspiLibrary*) {}, "0:4:0"},
      {"negative host adapter", [](FakeAspiLibrary*) {}, "-1:3:0"},
      {"no number ever read", [](FakeAspiLibrary*) {}, "x"},
      {"host adapter beyond a byte", [](FakeAspiLibrary* a) { a->AddDevice(0, 3, 0); }, "256:3:0"},
      {"target beyond a byte", [](FakeAspiLibrary*) {}, "0:259:0"},
      {"lun beyond three bits", [](FakeAspiLibrary*) {}, "0:3:8"},
      {"capacity unreadable", [](FakeAspiLibrary* a) { a->FailCapacity(true); }, "0:3:0"},
      {"block length 0", [](FakeAspiLibrary* a) { a->SetCapacity(100, 0); }, "0:3:0"},
      {"no event", [](FakeAspiLibrary* a) { a->FailEventCreation(true); }, "0:3:0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeAspiLibrary library;
    c.setup(&library);
    AspiDisk d(&library);
    d.SetName(c.name);
    EXPECT_EQ(d.Open(0), -1);
    EXPECT_EQ(d.GetError(), DeviceErrorOpen);
  }
}

TEST_F(AspiDiskTest, NameLongerThan259BytesIsRefusedAtOpen) {
  const std::string name = "0:3:0" + std::string(255, ' ');  // 260 bytes
  disk.SetName(name.c_str());
  EXPECT_EQ(std::strlen(disk.GetName()), 259u);
  EXPECT_EQ(disk.Open(0), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
  EXPECT_TRUE(aspi.Cdbs().empty());
}

TEST_F(AspiDiskTest, WriteAccessIsRefusedBeforeLoading) {
  disk.SetName("0:3:0");
  EXPECT_EQ(disk.Open(1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorUnsupported);
  EXPECT_EQ(aspi.LoadAttempts(), 0);
  EXPECT_EQ(disk.Write("x", 1), -1);
  EXPECT_EQ(disk.Reserved(), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorUnsupported);
}

TEST_F(AspiDiskTest, LibraryIsLoadedOnceAndItsHostCountShared) {
  ASSERT_EQ(OpenDrive(), 0);
  AspiDisk second(&aspi);
  second.SetName("0:3:0");
  ASSERT_EQ(second.Open(0), 0);
  EXPECT_EQ(aspi.LoadAttempts(), 2);
  EXPECT_EQ(aspi.SupportInfoCalls(), 1);
  EXPECT_EQ(aspi.HostAdapterCount(), 1);
}

TEST_F(AspiDiskTest, ReadCommandBlockCarriesLunAndPosition) {
  aspi.AddDevice(0, 3, 1);
  ASSERT_EQ(OpenDrive("0:3:1"), 0);
  disk.Seek(770, 0);
  uint8_t buffer[512];
  ASSERT_EQ(disk.Read(buffer, 1), 0);
  EXPECT_THAT(aspi.Cdbs().back(), ElementsAre(0x08, 0x20, 0x03, 0x02, 0x01, 0x00));
  const Bytes& block = aspi.Requests().back().block;
  EXPECT_EQ(block[9], 1);
  EXPECT_EQ(block[12], 0x00);  // SRB_BufLen 512
  EXPECT_EQ(block[13], 0x02);
  EXPECT_EQ(aspi.Requests().back().locations.buffer, buffer);
}

TEST_F(AspiDiskTest, TwentySectorsOf2048BytesGoAsEightEightAndFour) {
  aspi.SetCapacity(1999, 2048);
  FillImage(200, 2048);
  ASSERT_EQ(OpenDrive(), 0);
  disk.Seek(100, 0);
  std::vector<uint8_t> buffer(20 * 2048);
  ASSERT_EQ(disk.Read(buffer.data(), 20), 0);
  const auto cdbs = aspi.Cdbs();
  ASSERT_EQ(cdbs.size(), 5u);
  EXPECT_THAT(cdbs[2], ElementsAre(0x08, 0x00, 0x00, 100, 8, 0));
  EXPECT_THAT(cdbs[3], ElementsAre(0x08, 0x00, 0x00, 108, 8, 0));
  EXPECT_THAT(cdbs[4], ElementsAre(0x08, 0x00, 0x00, 116, 4, 0));
  for (int s = 0; s < 20; ++s) EXPECT_EQ(buffer[s * 2048 + 2047], 100 + s);
  EXPECT_EQ(disk.Position(), 120u);
}

TEST_F(AspiDiskTest, BlocksBeyond21BitsAreReadWithRead10) {
  aspi.SetCapacity(0x300000, 512);
  ASSERT_EQ(OpenDrive(), 0);
  disk.Seek(0x1FFFFF, 0);
  std::vector<uint8_t> buffer(34 * 512);
  ASSERT_EQ(disk.Read(buffer.data(), 34), 0);
  const auto cdbs = aspi.Cdbs();
  ASSERT_EQ(cdbs.size(), 4u);
  // The first command starts within READ(6)'s reach and runs past it.
  EXPECT_THAT(cdbs[2], ElementsAre(0x08, 0x1F, 0xFF, 0xFF, 32, 0));
  EXPECT_THAT(cdbs[3], ElementsAre(0x28, 0x00, 0x00, 0x20, 0x00, 0x1F, 0x00, 0x00, 0x02, 0x00));
  EXPECT_EQ(aspi.Requests().back().block[21], 10);
}

TEST_F(AspiDiskTest, FailingReadKeepsTheChunksBefore) {
  aspi.SetCapacity(999, 512);
  FillImage(100, 512);
  aspi.FailBlock(40);
  ASSERT_EQ(OpenDrive(), 0);
  disk.Seek(0, 0);
  std::vector<uint8_t> buffer(64 * 512, 0xEE);
  EXPECT_EQ(disk.Read(buffer.data(), 64), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
  EXPECT_EQ(disk.Position(), 32u);
  EXPECT_EQ(buffer[31 * 512], 31);
  EXPECT_EQ(buffer[32 * 512], 0xEE);
}

TEST_F(AspiDiskTest, SeekConvertsSectorsToBlocks) {
  aspi.SetCapacity(999, 512);
  ASSERT_EQ(OpenDrive(), 0);
  disk.SetGeometry({512, 999, 64});
  EXPECT_EQ(disk.Seek(10, 0), 0);
  EXPECT_EQ(disk.Position(), 74u);
  disk.Seek(6, 1);
  EXPECT_EQ(disk.Position(), 80u);
  disk.Seek(-1, 2);
  EXPECT_EQ(disk.Position(), 999u);
  // 2048-byte caller sectors over 512-byte blocks.
  disk.SetGeometry({2048, 999, 1});
  disk.Seek(2, 0);
  EXPECT_EQ(disk.Position(), 12u);
}

TEST_F(AspiDiskTest, SeekAndReadBeforeOpenFailWithoutDividing) {
  uint8_t buffer[512];
  EXPECT_EQ(disk.Seek(1, 0), -1);
  EXPECT_EQ(disk.Read(buffer, 1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
}

TEST_F(AspiDiskTest, CloseResetsTheAddressAndReopenMakesAFreshEvent) {
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(aspi.EventsAlive(), 1);
  EXPECT_EQ(disk.Close(), 0);
  EXPECT_EQ(disk.Close(), 0);
  EXPECT_EQ(aspi.EventsAlive(), 0);
  uint8_t buffer[512];
  EXPECT_EQ(disk.Read(buffer, 1), -1);  // no event to wait on
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(aspi.EventsCreated(), 2);
}

}  // namespace
