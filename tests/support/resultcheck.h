#pragma once
// A test's check that a file or history call succeeded, failing with the call's own message.

#include <QTest>

#define QUILO_VERIFY(expression)                                                                                       \
    do {                                                                                                               \
        const auto &quiloResult = (expression);                                                                       \
        QVERIFY2(quiloResult.ok(), qPrintable(quiloResult.error()));                                                  \
    } while (false)
