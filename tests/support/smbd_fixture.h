#pragma once

// A real Samba server for tests, made by tools/smbd/start-smbd: shares Public (guests,
// writable), alice and bob (each only for its owner), on a free port of `address`.
//
// Starting smbd and, on first use, its RPC helpers takes seconds on a busy machine, and ctest runs
// every test in a process of its own; so the test processes of one network namespace share one
// server. Each object holds a lease on it (see start-smbd --linger) and lets it go when it goes;
// the server stops itself a few seconds after the last lease is gone. Tests must not change the
// server's shares or accounts.
//
// Needs root (the accounts live in a private mount namespace) and, as every test that runs a
// server beyond plain loopback TCP, a private network namespace: tests check
// DS_REQUIRE_PRIVATE_NETNS() first. Used from the test's main thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ds::test {

class SmbdServer {
  public:
    struct Account {
        std::string user;
        std::string password;
    };
    // alice and bob, with their passwords.
    static const std::vector<Account>& accounts();
    static std::string passwordOf(const std::string& user);

    // Starts the server; null, with the reason in `whyNot`, when it cannot run here.
    static std::unique_ptr<SmbdServer> start(std::string& whyNot,
                                             const std::string& address = "127.0.0.1");
    ~SmbdServer();
    SmbdServer(const SmbdServer&) = delete;
    SmbdServer& operator=(const SmbdServer&) = delete;

    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }
    // The server's folder; its shares are under shares/<name>.
    const std::string& directory() const { return directory_; }

  private:
    SmbdServer(std::string address, uint16_t port, std::string directory, std::string lease);

    std::string address_;
    uint16_t port_;
    std::string directory_;
    std::string lease_;
};

// A TCP port of `address` that nothing listens on at the time of asking.
uint16_t freeTcpPort(const std::string& address = "127.0.0.1");

}  // namespace ds::test
