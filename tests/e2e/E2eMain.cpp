#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // QProcess wants an application object even when only its blocking waits are used.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
