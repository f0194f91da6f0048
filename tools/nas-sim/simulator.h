#pragma once

// The simulator: a set of devices on loopback addresses, their SSDP side (search answers from
// each device's own address, NOTIFY through lo) and their HTTP side, driven by one poll loop on
// the calling thread together with the commands on stdin. Output lines on stdout:
//   device <n> <udn> <address> <port> <location> <kind>   once per device at start
//   ready                                               every socket is bound
//   search <n> <ST> <searcher> <answers> <delay-ms>     a device will answer a search
//   search-ignored <reason> <searcher>                  an M-SEARCH that gets no answer
//   notify <n> alive|byebye|update <messages>           announcements sent
//   http <n> <method> <target> <status> [...]           a request answered
//   ok <command> | error <reason>                       after each stdin command
//   exit <why>                                          last line

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tools/nas-sim/device_model.h"
#include "tools/nas-sim/http_server.h"
#include "tools/nas-sim/http_site.h"
#include "tools/nas-sim/options.h"
#include "tools/nas-sim/ssdp_wire.h"
#include "tools/nas-sim/unique_fd.h"

namespace nassim {

class Simulator {
  public:
    explicit Simulator(SimOptions options);

    // Binds every socket and prints the device lines and "ready". On failure, `error` says why
    // and nothing has been sent.
    [[nodiscard]] bool start(std::string& error);

    // Runs until "quit", the end of the duration, a signal, or the end of stdin with
    // --exit-on-eof; says goodbye for every present device; returns the exit status.
    int run();

  private:
    struct PendingAnswer {
        size_t device = 0;
        uint32_t searcher = 0;
        uint16_t port = 0;
        std::vector<SsdpTarget> targets;
    };

    void readSsdp();
    void handleSearch(std::string_view datagram, uint32_t searcher, uint16_t port);
    void sendAnswers(const PendingAnswer& answer);
    void announce(size_t index, NotifyKind kind);
    void sendDueAnswers(Clock::time_point now);
    bool readStdin();                        // false at the end of input
    bool runCommand(std::string_view line);  // false for quit
    void sayGoodbye();
    void emit(const std::string& line);
    int timeoutMs(Clock::time_point now) const;

    SimOptions options_;
    std::vector<SimDevice> devices_;
    HttpSite site_;
    HttpServer http_;
    UniqueFd ssdpListener_;
    std::vector<UniqueFd> deviceSockets_;
    UniqueFd signals_;
    std::multimap<Clock::time_point, PendingAnswer> pendingAnswers_;
    size_t pendingTargets_ = 0;
    std::string stdinBuffer_;
    bool stdinOpen_ = true;
    bool quitRequested_ = false;
    Clock::time_point endTime_;
    Clock::time_point nextAnnounce_;
    std::mt19937 random_;
};

}  // namespace nassim
