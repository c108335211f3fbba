// The main of test programs whose code uses widgets.
#include "support/testing.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    velm::testing::prepareTestProgram(argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
