#include <QCoreApplication>

#include <gtest/gtest.h>

// Tests of sockets and timers need an application object for the event loop.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
