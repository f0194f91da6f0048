#pragma once

// The Qt side of a wizard test program: one QApplication on the offscreen platform, created
// before the first test and destroyed after the last, with the program's compiled-in resources
// (string table and dictionary) installed as the executable's. Include it in every
// tests/app/*_test.cpp that touches widgets or texts.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "platform/resources.h"
#include "resources/drivescout_resources.h"
#include "sdk/discovery_stack.h"

namespace ds::test {

class QtTestEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        // Always offscreen: a test must never need (or open windows on) a display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        platform::installExecutableResources(&resources::driveScoutResources());
        // The wizard's discovery page searches as soon as it exists: in tests it searches a
        // network that reports nothing, so no test sends a packet. Tests announce devices
        // through the SDK core themselves.
        sdk::setDiscoveryStack(sdk::makeNoNetworkStack());
    }
    void TearDown() override {
        application_.reset();
        sdk::setDiscoveryStack(nullptr);
    }

  private:
    int argc_ = 1;
    char name_[12] = "wizard_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

// GoogleTest owns the environment once it is added. One test file per program includes this.
[[maybe_unused]] static const bool kQtTestEnvironmentAdded =
    (::testing::AddGlobalTestEnvironment(new QtTestEnvironment), true);

}  // namespace ds::test
