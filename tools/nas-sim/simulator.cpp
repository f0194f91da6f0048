#include "tools/nas-sim/simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "tools/nas-sim/addresses.h"
#include "tools/nas-sim/commands.h"
#include "tools/nas-sim/net.h"
#include "tools/nas-sim/text.h"

namespace nassim {

namespace {

// Bounds the memory a flood of searches can make the simulator hold.
constexpr size_t kMaxPendingTargets = 200000;
constexpr size_t kMaxCommandLine = 4096;
// Datagrams read per pass, so a flood cannot starve the HTTP side.
constexpr int kDatagramsPerPass = 256;

std::string kindName(NotifyKind kind) {
    switch (kind) {
        case NotifyKind::Alive:
            return "alive";
        case NotifyKind::Byebye:
            return "byebye";
        case NotifyKind::Update:
            return "update";
    }
    return "?";
}

std::string endpoint(uint32_t address, uint16_t port) {
    return formatIpv4(address) + ":" + std::to_string(port);
}

}  // namespace

Simulator::Simulator(SimOptions options)
    : options_(std::move(options)),
      devices_(buildDevices(options_)),
      site_(options_),
      http_(devices_, site_, [this](const std::string& line) { emit(line); }),
      random_(std::random_device{}()) {}

bool Simulator::start(std::string& error) {
    // Two sockets per device, the connections, and a margin for stdio and the listener.
    if (!ensureFileLimit(devices_.size() * 2 + 1024 + 64)) {
        error =
            "the open-file limit is too low for " + std::to_string(devices_.size()) + " devices";
        return false;
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    signals_ = UniqueFd(signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!signals_.valid()) {
        error = "signalfd failed";
        return false;
    }

    ssdpListener_ = openSsdpListener(error);
    if (!ssdpListener_.valid())
        return false;
    deviceSockets_.reserve(devices_.size());
    for (size_t i = 0; i < devices_.size(); ++i) {
        UniqueFd fd = openDeviceUdpSocket(devices_[i].address, error);
        if (!fd.valid())
            return false;
        deviceSockets_.push_back(std::move(fd));
        if (!http_.listen(i, error))
            return false;
    }

    for (const SimDevice& device : devices_) {
        emit("device " + std::to_string(device.number) + " " + device.root.udn + " " +
             formatIpv4(device.address) + " " + std::to_string(device.httpPort) + " " +
             device.locationUrl() + " " + (device.homevault ? "homevault" : "other"));
    }
    emit("ready");

    const auto now = Clock::now();
    endTime_ = now + std::chrono::seconds(options_.durationSeconds);
    nextAnnounce_ = now + std::chrono::seconds(options_.announceIntervalSeconds);
    if (options_.initialAlive) {
        for (size_t i = 0; i < devices_.size(); ++i)
            announce(i, NotifyKind::Alive);
    }
    return true;
}

int Simulator::run() {
    std::string why;
    while (why.empty()) {
        const auto now = Clock::now();
        if (now >= endTime_) {
            why = "duration";
            break;
        }
        sendDueAnswers(now);
        if (options_.announceIntervalSeconds > 0 && now >= nextAnnounce_) {
            for (size_t i = 0; i < devices_.size(); ++i) {
                if (devices_[i].presence == Presence::Present)
                    announce(i, NotifyKind::Alive);
            }
            nextAnnounce_ = now + std::chrono::seconds(options_.announceIntervalSeconds);
        }

        std::vector<pollfd> fds;
        fds.push_back({signals_.get(), POLLIN, 0});
        fds.push_back({ssdpListener_.get(), POLLIN, 0});
        fds.push_back({stdinOpen_ ? STDIN_FILENO : -1, POLLIN, 0});
        const size_t httpStart = fds.size();
        http_.collect(fds);

        if (::poll(fds.data(), fds.size(), timeoutMs(now)) < 0) {
            if (errno == EINTR)
                continue;
            why = "poll-failed";
            break;
        }
        const auto after = Clock::now();
        // HTTP before commands: a relocation may replace a listener collected above.
        http_.handle(fds.data() + httpStart, after);
        if (fds[1].revents & POLLIN)
            readSsdp();
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!readStdin()) {
                stdinOpen_ = false;
                if (options_.exitOnEof)
                    why = "eof";
            }
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signals_.get(), &info, sizeof info) > 0)
                why = "signal";
        }
        if (quitRequested_)
            why = "quit";
    }
    sayGoodbye();
    emit("exit " + why);
    return 0;
}

int Simulator::timeoutMs(Clock::time_point now) const {
    Clock::time_point wake = endTime_;
    if (options_.announceIntervalSeconds > 0)
        wake = std::min(wake, nextAnnounce_);
    if (!pendingAnswers_.empty())
        wake = std::min(wake, pendingAnswers_.begin()->first);
    if (const auto deadline = http_.nextDeadline())
        wake = std::min(wake, *deadline);
    if (wake <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
}

void Simulator::readSsdp() {
    char buffer[8192];
    for (int i = 0; i < kDatagramsPerPass; ++i) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = ::recvfrom(ssdpListener_.get(), buffer, sizeof buffer, 0,
                                            reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0)
            return;
        const std::string_view datagram(buffer, static_cast<size_t>(received));
        // Announcements (ours included, looped back) are not for devices to answer.
        if (datagram.starts_with("M-SEARCH"))
            handleSearch(datagram, ntohl(from.sin_addr.s_addr), ntohs(from.sin_port));
    }
}

void Simulator::handleSearch(std::string_view datagram, uint32_t searcher, uint16_t port) {
    const SearchParse parse = parseSearchRequest(datagram);
    if (!parse.request) {
        emit("search-ignored " + parse.rejection + " " + endpoint(searcher, port));
        return;
    }
    // Answers are unicast: only to a searcher on this machine's loopback.
    if (!isLoopbackHost(searcher) || port == 0) {
        emit("search-ignored searcher-not-loopback " + endpoint(searcher, port));
        return;
    }
    const SearchRequest& search = *parse.request;
    const int windowMs = std::min(search.mxSeconds * 1000, options_.maxAnswerDelayMs);
    const auto now = Clock::now();
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (devices_[i].presence != Presence::Present)
            continue;
        PendingAnswer answer{i, searcher, port,
                             searchAnswers(devices_[i].root, search.searchTarget)};
        if (answer.targets.empty())
            continue;
        if (pendingTargets_ + answer.targets.size() > kMaxPendingTargets) {
            emit("search-ignored too-many-pending " + endpoint(searcher, port));
            return;
        }
        int delayMs = 0;
        if (!options_.answerAtOnce && windowMs > 0)
            delayMs = std::uniform_int_distribution<int>(0, windowMs)(random_);
        emit("search " + std::to_string(devices_[i].number) + " " + loggable(search.searchTarget) +
             " " + endpoint(searcher, port) + " " + std::to_string(answer.targets.size()) + " " +
             std::to_string(delayMs));
        if (delayMs == 0) {
            sendAnswers(answer);
        } else {
            pendingTargets_ += answer.targets.size();
            pendingAnswers_.emplace(now + std::chrono::milliseconds(delayMs), std::move(answer));
        }
    }
}

void Simulator::sendDueAnswers(Clock::time_point now) {
    while (!pendingAnswers_.empty() && pendingAnswers_.begin()->first <= now) {
        const PendingAnswer answer = std::move(pendingAnswers_.begin()->second);
        pendingAnswers_.erase(pendingAnswers_.begin());
        pendingTargets_ -= answer.targets.size();
        sendAnswers(answer);
    }
}

void Simulator::sendAnswers(const PendingAnswer& answer) {
    const SimDevice& device = devices_[answer.device];
    // A device that left while its answer waited does not answer.
    if (device.presence != Presence::Present)
        return;
    const std::string date = httpDate();
    const std::string location = device.locationUrl();
    for (const SsdpTarget& target : answer.targets) {
        sendDatagram(deviceSockets_[answer.device].get(), answer.searcher, answer.port,
                     formatSearchAnswer(target, location, device.lifetimeSeconds, date));
    }
}

void Simulator::announce(size_t index, NotifyKind kind) {
    const SimDevice& device = devices_[index];
    const std::vector<SsdpTarget> targets = announcementTargets(device.root);
    const std::string location = device.locationUrl();
    size_t sent = 0;
    for (const SsdpTarget& target : targets) {
        if (sendDatagram(deviceSockets_[index].get(), kSsdpGroup, kSsdpPort,
                         formatNotify(kind, target, location, device.lifetimeSeconds)))
            ++sent;
    }
    emit("notify " + std::to_string(device.number) + " " + kindName(kind) + " " +
         std::to_string(sent));
}

bool Simulator::readStdin() {
    char buffer[4096];
    ssize_t received;
    do {
        received = ::read(STDIN_FILENO, buffer, sizeof buffer);
    } while (received < 0 && errno == EINTR);
    if (received <= 0)
        return false;
    stdinBuffer_.append(buffer, static_cast<size_t>(received));
    while (true) {
        const size_t newline = stdinBuffer_.find('\n');
        if (newline == std::string::npos)
            break;
        const std::string line = stdinBuffer_.substr(0, newline);
        stdinBuffer_.erase(0, newline + 1);
        if (!runCommand(line)) {
            quitRequested_ = true;  // nothing after "quit" is run
            stdinBuffer_.clear();
            return true;
        }
    }
    if (stdinBuffer_.size() > kMaxCommandLine) {
        emit("error command line too long");
        stdinBuffer_.clear();
    }
    return true;
}

bool Simulator::runCommand(std::string_view line) {
    if (trim(line).empty())
        return true;
    const CommandParse parse = parseCommand(line);
    if (!parse.command) {
        emit("error " + parse.error);
        return true;
    }
    const Command& command = *parse.command;
    if (command.kind == CommandKind::Quit) {
        emit("ok quit");
        return false;
    }
    if (command.device > static_cast<int>(devices_.size())) {
        emit("error no device " + std::to_string(command.device));
        return true;
    }
    const size_t first = command.device == 0 ? 0 : static_cast<size_t>(command.device - 1);
    const size_t last = command.device == 0 ? devices_.size() : first + 1;
    for (size_t i = first; i < last; ++i) {
        SimDevice& device = devices_[i];
        switch (command.kind) {
            case CommandKind::Alive:
                device.presence = Presence::Present;
                announce(i, NotifyKind::Alive);
                break;
            case CommandKind::Byebye:
                announce(i, NotifyKind::Byebye);
                device.presence = Presence::Gone;
                break;
            case CommandKind::Update:
                announce(i, NotifyKind::Update);
                break;
            case CommandKind::Silence:
                device.presence = Presence::Silent;
                break;
            case CommandKind::Relocate: {
                if (command.port && *command.port != device.httpPort) {
                    const uint16_t oldPort = device.httpPort;
                    device.httpPort = *command.port;
                    std::string error;
                    if (!http_.listen(i, error)) {
                        device.httpPort = oldPort;
                        emit("error " + error);
                        return true;
                    }
                }
                ++device.relocations;
                device.descriptionPath =
                    "/description-" + std::to_string(device.relocations + 1) + ".xml";
                emit("location " + std::to_string(device.number) + " " + device.locationUrl());
                if (device.presence == Presence::Present)
                    announce(i, NotifyKind::Alive);
                break;
            }
            case CommandKind::Lifetime:
                device.lifetimeSeconds = command.seconds;
                break;
            case CommandKind::Fail:
                device.fault = command.fault;
                break;
            case CommandKind::Framing:
                device.framing = command.framing;
                break;
            case CommandKind::Quit:
                break;
        }
    }
    emit("ok " + loggable(trim(line).substr(0, trim(line).find(' '))) + " " +
         (command.device == 0 ? std::string("all") : std::to_string(command.device)));
    return true;
}

void Simulator::sayGoodbye() {
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (devices_[i].presence == Presence::Present) {
            announce(i, NotifyKind::Byebye);
            devices_[i].presence = Presence::Gone;
        }
    }
}

void Simulator::emit(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace nassim
