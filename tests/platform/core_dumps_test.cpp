// Core dumps are off once the program has started: in a child process, so the test program
// itself stays as it was.
#include "platform/core_dumps.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(CoreDumps, OffAfterTheStartStep)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        const bool ok = DisableCoreDumps() && ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0 &&
                        ::getrlimit(RLIMIT_CORE, &limit) == 0 && limit.rlim_cur == 0 && limit.rlim_max == 0;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
