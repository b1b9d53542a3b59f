// The Win32 ASPI library against a stand-in "wnaspi32.dll" (fake_wnaspi32.cc): request
// blocks reach ASPI in its own layout for this process, and what ASPI writes there, at
// once or later, reaches the caller's 80-byte block.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "gtest/gtest.h"
#include "platform/aspi_library.h"
#include "platform/aspi_request_block.h"

namespace {

using platform::AspiEvent;
using platform::AspiLibrary;
using platform::AspiLocations;
using platform::AspiNativeExecBlock;

class AspiTranslationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AspiLibrary::LoadResult::kLoadedNow, library->Load());
    HMODULE module = GetModuleHandleA("wnaspi32.dll");
    ASSERT_NE(nullptr, module);
    lastRequest = reinterpret_cast<void(__cdecl*)(void*, int)>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "FakeAspiLastRequest")));
    setNotReady = reinterpret_cast<void(__cdecl*)(int)>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "FakeAspiSetNotReady")));
    ASSERT_NE(nullptr, lastRequest) << "the stand-in library was not the one loaded";
    ASSERT_NE(nullptr, setNotReady);
    setNotReady(0);
    event = library->CreateEvent();
    ASSERT_NE(nullptr, event);
  }

  // An SC_EXEC_SCSI_CMD block for 1:3:2 with SRB_EVENT_NOTIFY and SRB_DIR_IN.
  void Prepare(const uint8_t* cdb, uint8_t cdbLength, uint32_t bufferLength) {
    std::memset(block, 0, sizeof block);
    block[0] = 2;
    block[2] = 1;
    block[3] = 0x48;
    block[8] = 3;
    block[9] = 2;
    block[12] = static_cast<uint8_t>(bufferLength);
    block[20] = 14;
    block[21] = cdbLength;
    std::memcpy(block + 48, cdb, cdbLength);
  }

  uint32_t Send(void* buffer) {
    AspiLocations locations;
    locations.buffer = buffer;
    locations.event = event.get();
    event->Reset();
    return library->SendCommand(block, locations);
  }

  AspiNativeExecBlock Received() {
    AspiNativeExecBlock received{};
    lastRequest(&received, sizeof received);
    return received;
  }

  std::unique_ptr<AspiLibrary> library = platform::NewSystemAspiLibrary();
  std::unique_ptr<AspiEvent> event;
  uint8_t block[platform::kAspiExecBlockBytes];
  void(__cdecl* lastRequest)(void*, int) = nullptr;
  void(__cdecl* setNotReady)(int) = nullptr;
};

TEST_F(AspiTranslationTest, RequestReachesAspiInItsOwnLayout) {
  const uint8_t readCapacity[10] = {0x25, 0x40};
  uint8_t reply[8] = {};
  Prepare(readCapacity, sizeof readCapacity, sizeof reply);
  EXPECT_EQ(0u, Send(reply));
  const AspiNativeExecBlock received = Received();
  EXPECT_EQ(2, received.cmd);
  EXPECT_EQ(1, received.haId);
  EXPECT_EQ(0x48, received.flags);
  EXPECT_EQ(3, received.target);
  EXPECT_EQ(2, received.lun);
  EXPECT_EQ(8u, received.bufLen);
  EXPECT_EQ(reply, received.bufPointer);
  EXPECT_EQ(14, received.senseLen);
  EXPECT_EQ(10, received.cdbLen);
  EXPECT_EQ(0, std::memcmp(readCapacity, received.cdb, sizeof readCapacity));
  EXPECT_NE(nullptr, received.postProc) << "SRB_EVENT_NOTIFY carries the event handle";
  event->Wait(5000);
}

TEST_F(AspiTranslationTest, LaterCompletionReachesTheCallerWhenTheEventIsSignalled) {
  const uint8_t readCapacity[10] = {0x25};
  uint8_t reply[8] = {};
  Prepare(readCapacity, sizeof readCapacity, sizeof reply);
  EXPECT_EQ(0u, Send(reply));
  EXPECT_EQ(0, block[1]) << "pending until ASPI completes the command";
  EXPECT_EQ(AspiEvent::WaitResult::kSignalled, event->Wait(5000));
  EXPECT_EQ(1, block[1]);
  const uint8_t expected[8] = {0x00, 0x00, 0x03, 0xE7, 0x00, 0x00, 0x08, 0x00};
  EXPECT_EQ(0, std::memcmp(expected, reply, sizeof reply));
}

TEST_F(AspiTranslationTest, ImmediateCompletionAndSenseDataReachTheCaller) {
  const uint8_t testUnitReady[6] = {0x00};
  Prepare(testUnitReady, sizeof testUnitReady, 0);
  EXPECT_EQ(1u, Send(nullptr));
  EXPECT_EQ(1, block[1]);
  setNotReady(1);
  Prepare(testUnitReady, sizeof testUnitReady, 0);
  EXPECT_EQ(4u, Send(nullptr));
  EXPECT_EQ(4, block[1]);
  EXPECT_EQ(0x02, block[23]) << "SRB_TargStat";
  EXPECT_EQ(0x02, block[64 + 2] & 0x0F) << "sense key NOT READY";
}

TEST_F(AspiTranslationTest, TimedOutRequestIsAbortedInAspisOwnBlock) {
  const uint8_t read6[6] = {0x08, 0x00, 0x03, 0x02, 8, 0};
  uint8_t data[8 * 2048];
  Prepare(read6, sizeof read6, sizeof data);
  EXPECT_EQ(0u, Send(data));
  EXPECT_EQ(AspiEvent::WaitResult::kTimeout, event->Wait(20));
  EXPECT_EQ(0, block[1]);
  uint8_t abort[platform::kAspiShortBlockBytes] = {3, 0, 1};
  AspiLocations toAbort;
  toAbort.toAbort = block;
  EXPECT_EQ(1u, library->SendCommand(abort, toAbort));
  EXPECT_EQ(2, block[1]) << "SS_ABORTED";
}

TEST_F(AspiTranslationTest, AbortOfAnUnknownRequestIsRefused) {
  uint8_t unknown[platform::kAspiExecBlockBytes] = {2};
  uint8_t abort[platform::kAspiShortBlockBytes] = {3};
  AspiLocations toAbort;
  toAbort.toAbort = unknown;
  EXPECT_EQ(0x80u, library->SendCommand(abort, toAbort));
  EXPECT_EQ(0x80, abort[1]);
}

}  // namespace
