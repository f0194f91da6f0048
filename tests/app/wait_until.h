#pragma once

// Waiting in a wizard test. QtTest's own macros (QTRY_VERIFY, QVERIFY, QCOMPARE) record their
// failure in QtTest's result and return, so GoogleTest would see a pass: wait with this instead,
// inside a GoogleTest assertion:
//
//     ASSERT_TRUE(WaitUntil([&] { return wizard.OnSignIn(); }));

#include <gtest/gtest.h>

#include <QTest>
#include <utility>

namespace wizardtest {

// Longest a wait may take before the test fails.
inline constexpr int kWatchdogMs = 8000;

// Handles the user-interface thread's events until `condition` holds (success) or `timeoutMs`
// have passed (failure naming the time waited).
template <typename Condition>
::testing::AssertionResult WaitUntil(Condition&& condition, int timeoutMs = kWatchdogMs) {
    if (QTest::qWaitFor(std::forward<Condition>(condition), timeoutMs)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "still not true after " << timeoutMs << " ms";
}

}  // namespace wizardtest
