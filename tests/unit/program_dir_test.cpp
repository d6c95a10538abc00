#include "core/ProgramDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

TEST(ProgramDir, IsTheDirectoryOfThisProgramWithATrailingSlash)
{
    // Asked by the test below: print the directory and stop.
    if (std::getenv("ZUMALO_PRINT_PROGRAM_DIR")) {
        std::printf("%s\n", ProgramDir().c_str());
        std::fflush(stdout);
        std::_Exit(0);
    }
    const std::string dir = ProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_NE(dir.find("/tests/"), std::string::npos) << dir;
}

TEST(ProgramDir, WorksFromADirectoryWithAVeryLongPath)
{
    // A copy of this program four hundred characters deep reports its own directory.
    char base[] = "/tmp/zumalo-programdir-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    std::string dir = base;
    while (dir.size() < 400)
        dir += "/" + std::string(60, 'd');
    const std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "' && cp " + self + " '" + dir + "/copy'").c_str()),
              0);
    const std::string command = "ZUMALO_PRINT_PROGRAM_DIR=1 '" + dir
        + "/copy' --gtest_filter=ProgramDir.IsTheDirectoryOfThisProgramWithATrailingSlash";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    // The directory is the last line the copy prints.
    std::string last;
    char line[1024];
    while (std::fgets(line, sizeof line, out))
        last = line;
    pclose(out);
    EXPECT_EQ(std::system(("rm -rf '" + std::string(base) + "'").c_str()), 0);
    EXPECT_EQ(last, dir + "/\n");
}

} // namespace
