// The local time zone is read once at start, and local times come out as before: in a child
// process, so the test program's own environment stays as it was.
#include "platform/local_time_zone.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// The seconds of a local wall-clock time, as the C library converts it.
time_t LocalSeconds()
{
    tm parts{};
    parts.tm_year = 2026 - 1900;
    parts.tm_mon = 6;
    parts.tm_mday = 1;
    parts.tm_hour = 12;
    parts.tm_isdst = -1;
    return ::mktime(&parts);
}

int InChild(bool (*check)())
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(check() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(LocalTimeZone, TheSystemZoneIsNamedOnceAndAZoneGivenStays)
{
    EXPECT_EQ(InChild([] {
                  ::unsetenv("TZ");
                  const time_t before = LocalSeconds();
                  PinLocalTimeZone();
                  const char* zone = std::getenv("TZ");
                  return zone && std::strcmp(zone, ":/etc/localtime") == 0 && LocalSeconds() == before;
              }),
              0);
    EXPECT_EQ(InChild([] {
                  ::setenv("TZ", "Asia/Tokyo", 1);
                  PinLocalTimeZone();
                  const char* zone = std::getenv("TZ");
                  return zone && std::strcmp(zone, "Asia/Tokyo") == 0;
              }),
              0);
}
