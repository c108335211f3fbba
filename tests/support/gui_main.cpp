// The main of test programs whose code uses no widgets.
#include "support/testing.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    velm::testing::prepareTestProgram(argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
