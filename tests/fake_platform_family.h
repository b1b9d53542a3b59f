#ifndef TESTS_FAKE_PLATFORM_FAMILY_H_
#define TESTS_FAKE_PLATFORM_FAMILY_H_

#include "platform/platform_family.h"

// Answers a fixed platform family.
class FakePlatformFamily final : public platform::PlatformFamilyQuery {
 public:
  explicit FakePlatformFamily(platform::PlatformFamily family) : family(family) {}
  platform::PlatformFamily Family() override { return family; }

 private:
  const platform::PlatformFamily family;
};

#endif  // TESTS_FAKE_PLATFORM_FAMILY_H_
