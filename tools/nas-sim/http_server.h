#pragma once

// The devices' HTTP side: one listening socket per device, and the connections accepted on
// them. It takes part in the simulator's poll loop: `collect` appends the descriptors to watch,
// and `handle` is given the same slice back after poll. Single-threaded; the devices and the site
// are borrowed and outlive the server.

#include <poll.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/nas-sim/device_model.h"
#include "tools/nas-sim/http_request.h"
#include "tools/nas-sim/http_site.h"
#include "tools/nas-sim/unique_fd.h"

namespace nassim {

using Clock = std::chrono::steady_clock;

class HttpServer {
  public:
    using LogLine = std::function<void(const std::string&)>;

    HttpServer(std::vector<SimDevice>& devices, HttpSite& site, LogLine log);

    // Opens the listener of device `index` (0-based) at its current address and port, closing
    // the one it had. Connections already accepted go on.
    [[nodiscard]] bool listen(size_t index, std::string& error);

    // Appends one pollfd per listener and connection; remembers the order for `handle`.
    void collect(std::vector<pollfd>& fds);
    // `fds` points at the slice `collect` appended, after poll filled in the events.
    void handle(const pollfd* fds, Clock::time_point now);
    // The earliest idle or drain deadline of a connection, if any.
    std::optional<Clock::time_point> nextDeadline() const;

    size_t connectionCount() const { return connections_.size(); }

  private:
    struct Connection {
        UniqueFd fd;
        size_t device = 0;
        HttpRequestParser parser;
        std::string output;
        size_t sent = 0;
        bool closeAfterWrite = false;
        bool draining = false;  // our side is shut; waiting for the client to close
        bool peerClosed = false;
        bool done = false;
        bool held = false;  // a request that is never answered: read nothing more, send nothing
        Clock::time_point deadline;
    };

    void accept(size_t index, Clock::time_point now);
    void readFrom(Connection& connection, Clock::time_point now);
    void answerRequests(Connection& connection);
    void writeTo(Connection& connection, Clock::time_point now);

    std::vector<SimDevice>& devices_;
    HttpSite& site_;
    LogLine log_;
    std::vector<UniqueFd> listeners_;  // by device index
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<size_t> collectedListeners_;
    size_t collectedConnections_ = 0;
};

}  // namespace nassim
