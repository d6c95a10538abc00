#include "core/Ports.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

// A test or a bench that starts from a bare Settings must reach the services of the build it
// runs against, as the program does with Defaults().
TEST(Settings, ABareValueHasTheBuildsPorts)
{
    const Settings bare;
    const Settings defaults = Settings::Defaults();
    EXPECT_EQ(bare.dbPort, ports::Database);
    EXPECT_EQ(bare.presencePort, ports::Presence);
    EXPECT_EQ(bare.httpPort, ports::Http);
    EXPECT_EQ(defaults.dbPort, ports::Database);
    EXPECT_EQ(defaults.presencePort, ports::Presence);
    EXPECT_EQ(defaults.httpPort, ports::Http);
}
