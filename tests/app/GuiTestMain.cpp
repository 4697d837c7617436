// Entry of the window tests: a QApplication on the offscreen platform (unless another one is
// asked for), then every test; the process ends as the program does.

#include "common/ProcessExit.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    // Not a return: Qt Multimedia's teardown after main can abort a run whose tests all passed.
    quelsor::EndProcess(result);
}
