#pragma once

// A test suite against the shared Samba server (see smbd_fixture.h): the server starts once for
// the suite, and every test gets its own user folders with the SMB layer pointed at the server's
// port and the desktop mount helper turned off. Tests skip outside a private network namespace or
// where smbd cannot run. A fixture deriving from this that has its own SetUp calls this one first
// and returns when IsSkipped(). Used from the test's main thread.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "support/netns.h"
#include "support/smbd_fixture.h"
#include "support/temp_user_dirs.h"

namespace ds::test {

class SmbdUserTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (inPrivateNetworkNamespace())
            server_ = SmbdServer::start(whyNot_);
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        DS_REQUIRE_PRIVATE_NETNS();
        if (!server_)
            GTEST_SKIP() << whyNot_;
        user_.emplace();
        user_->setEnv("DRIVESCOUT_SMB_PORT", std::to_string(server_->port()));
        user_->setEnv("DRIVESCOUT_GVFS", "0");
    }

    static inline std::unique_ptr<SmbdServer> server_;
    static inline std::string whyNot_;
    std::optional<TempUserDirs> user_;
};

}  // namespace ds::test
