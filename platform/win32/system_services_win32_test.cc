// The Windows services the disk back ends reach: the platform family, the VWIN32 device
// (Windows 95 only) and ASPI for Win32 ("wnaspi32.dll"), and the host text.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "platform/aspi_library.h"
#include "platform/host_text.h"
#include "platform/platform_family.h"
#include "platform/vwin32_port.h"
#include "platform/win32/win32_support.h"

namespace {

using platform::AspiLibrary;

TEST(PlatformFamilyTest, WindowsNtFamilyIsReported) {
  // Every Windows this 64-bit program runs on, Wine included, is of the NT family.
  EXPECT_EQ(platform::PlatformFamily::kNt, platform::NewSystemPlatformFamilyQuery()->Family());
}

TEST(Vwin32Test, DeviceOpensOnlyOnWindows95) {
  int error = 0;
  EXPECT_EQ(nullptr, platform::NewSystemVwin32Service()->Open(&error));
  EXPECT_NE(0, error) << "the Windows error of the refused open is recorded";
}

TEST(AspiLibraryTest, LoadsOnceAndFindsBothEntryPoints) {
  std::unique_ptr<AspiLibrary> library = platform::NewSystemAspiLibrary();
  EXPECT_FALSE(library->HasSendCommand());
  EXPECT_FALSE(library->HasGetSupportInfo());
  ASSERT_EQ(AspiLibrary::LoadResult::kLoadedNow, library->Load());
  EXPECT_EQ(AspiLibrary::LoadResult::kAlreadyLoaded, library->Load());
  EXPECT_TRUE(library->HasSendCommand());
  EXPECT_TRUE(library->HasGetSupportInfo());
}

TEST(AspiLibraryTest, RequestToAMissingDeviceEndsWithAStatus) {
  std::unique_ptr<AspiLibrary> library = platform::NewSystemAspiLibrary();
  ASSERT_EQ(AspiLibrary::LoadResult::kLoadedNow, library->Load());
  const uint32_t support = library->GetSupportInfo();
  const int adapters = (support >> 8 & 0xFF) == 1 ? static_cast<int>(support & 0xFF) : 0;

  // Device-type inquiry for host adapter `adapters` (one past the last): no device.
  uint8_t inquiry[platform::kAspiShortBlockBytes] = {
      1, 0, static_cast<uint8_t>(adapters), 0, 0, 0, 0, 0, 3, 0, 0, 0};
  EXPECT_NE(1u, library->SendCommand(inquiry, platform::AspiLocations()));

  // TEST UNIT READY there, with an event: the request block gets a final status.
  std::unique_ptr<platform::AspiEvent> event = library->CreateEvent();
  ASSERT_NE(nullptr, event);
  uint8_t block[platform::kAspiExecBlockBytes] = {};
  block[0] = 2;
  block[2] = static_cast<uint8_t>(adapters);
  block[3] = 0x48;
  block[8] = 3;
  block[20] = 14;
  block[21] = 6;
  platform::AspiLocations locations;
  locations.event = event.get();
  event->Reset();
  const uint32_t result = library->SendCommand(block, locations);
  // A request ASPI does not queue ends at once, its status in SRB_Status as well.
  ASSERT_NE(0u, result);
  EXPECT_NE(1u, result);
  EXPECT_EQ(result, block[1]);
}

TEST(AspiLibraryTest, EventWaitTimesOutUntilSignalled) {
  std::unique_ptr<AspiLibrary> library = platform::NewSystemAspiLibrary();
  std::unique_ptr<platform::AspiEvent> event = library->CreateEvent();
  ASSERT_NE(nullptr, event);
  EXPECT_EQ(platform::AspiEvent::WaitResult::kTimeout, event->Wait(0));
  const DWORD start = GetTickCount();
  library->Pause(50);
  // GetTickCount moves in steps of 10-16 ms: ask only that the pause was not skipped.
  EXPECT_GE(GetTickCount() - start, 25u);
}

TEST(HostTextTest, ProgramsPassCodePage932BytesUnchanged) {
  std::unique_ptr<platform::HostText> text = platform::NewHostText();
  EXPECT_FALSE(text->Converts());
  const std::string bytes = "\x93\xFA\x96\x7B\x8C\xEA\\\x95\x5C%41\x80";
  EXPECT_EQ(bytes, text->FromDisk(bytes));
  EXPECT_EQ(bytes, text->ToDisk(bytes));
}

TEST(HostTextTest, Utf8ConverterEscapesWhatDoesNotRoundTrip) {
  std::unique_ptr<platform::HostText> text = platform::NewHostTextFor("utf-8");
  ASSERT_TRUE(text->Converts());
  struct Case {
    std::string disk;
    std::string host;
  };
  const Case cases[] = {
      {"\x93\xFA\x96\x7B\x8C\xEA.TXT", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.TXT"},
      {"\x95\x5C", "\xE8\xA1\xA8"},
      {"\xB1", "\xEF\xBD\xB1"},  // half-width katakana
      {"A\x80"
       "B",
       "A%80B"},  // no character
      {"\xA0\xFD\xFE\xFF", "%A0%FD%FE%FF"},
      {"%41", "%2541"},  // a '%' that would read as an escape
      {"%4", "%4"},
      {"\x81", "%81"},  // a lead byte at the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.host, text->FromDisk(c.disk));
    EXPECT_EQ(c.disk, text->ToDisk(text->FromDisk(c.disk)));
  }
  EXPECT_EQ(platform::NewHostTextFor("CP932")->Converts(), false);
}

}  // namespace
