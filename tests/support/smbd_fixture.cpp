#include "smbd_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace ds::test {
namespace {

std::string scriptPath() {
    return std::string(DRIVESCOUT_SOURCE_DIR) + "/tools/smbd/start-smbd";
}

bool smbdInstalled() {
    if (::access("/usr/sbin/smbd", X_OK) == 0)
        return true;
    return std::system("command -v smbd >/dev/null 2>&1") == 0;
}

// Runs `command` and returns what it wrote (standard error included) and its exit status.
int run(const std::string& command, std::string& output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    return ::pclose(pipe);
}

std::string shellQuoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

}  // namespace

const std::vector<SmbdServer::Account>& SmbdServer::accounts() {
    static const std::vector<Account> list = {{"alice", "Wonderland-1"}, {"bob", "Builder-22"}};
    return list;
}

std::string SmbdServer::passwordOf(const std::string& user) {
    for (const Account& account : accounts()) {
        if (account.user == user)
            return account.password;
    }
    return {};
}

uint16_t freeTcpPort(const std::string& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    socklen_t size = sizeof local;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0)
        port = ntohs(local.sin_port);
    ::close(fd);
    return port;
}

static bool answers(const std::string& address, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &remote.sin_addr);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
    ::close(fd);
    return connected;
}

std::unique_ptr<SmbdServer> SmbdServer::start(std::string& whyNot, const std::string& address) {
    if (::geteuid() != 0) {
        whyNot = "needs root to run smbd with its own accounts";
        return nullptr;
    }
    if (!smbdInstalled()) {
        whyNot = "smbd is not installed (Debian package samba)";
        return nullptr;
    }
    // One shared server per network namespace and address.
    struct stat netns {};
    ::stat("/proc/self/ns/net", &netns);
    const std::string shared = "/tmp/drivescout-smbd-" + std::to_string(::geteuid()) + "-" +
                               std::to_string(netns.st_ino) + "-" + address;
    // Searchable by all: smbd opens the shares inside as the connected user.
    ::mkdir(shared.c_str(), 0755);
    ::chmod(shared.c_str(), 0755);
    const std::string lockFile = shared + "/lock";
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        whyNot = "cannot lock " + lockFile;
        if (lock >= 0)
            ::close(lock);
        return nullptr;
    }
    const std::string directory = shared + "/smbd-server";
    const std::string recordFile = shared + "/port";
    uint16_t port = 0;
    if (FILE* record = std::fopen(recordFile.c_str(), "r")) {
        unsigned value = 0;
        if (std::fscanf(record, "%u", &value) == 1)
            port = static_cast<uint16_t>(value);
        std::fclose(record);
    }
    std::string output;
    if (port == 0 || !std::filesystem::exists(directory + "/smb.conf") || !answers(address, port)) {
        port = 0;
        std::string ignored;
        run(shellQuoted(scriptPath()) + " --stop " + shellQuoted(directory), ignored);
        std::filesystem::remove_all(directory);
        // A port taken between asking and binding makes smbd fail; one more try covers that.
        for (int attempt = 0; attempt < 2 && port == 0; ++attempt) {
            const uint16_t candidate = freeTcpPort(address);
            std::string command = shellQuoted(scriptPath()) + " --addr " + shellQuoted(address) +
                                  " --port " + std::to_string(candidate) + " --dir " +
                                  shellQuoted(directory) + " --linger 5 --lock " +
                                  shellQuoted(lockFile);
            for (const Account& account : accounts())
                command += " --user " + shellQuoted(account.user + ":" + account.password);
            output.clear();
            if (run(command, output) == 0)
                port = candidate;
        }
        if (port != 0) {
            if (FILE* record = std::fopen(recordFile.c_str(), "w")) {
                std::fprintf(record, "%u\n", port);
                std::fclose(record);
            }
        }
    }
    std::string lease;
    if (port != 0) {
        lease = directory + "/lease-" + std::to_string(::getpid());
        if (FILE* file = std::fopen(lease.c_str(), "w"))
            std::fclose(file);
    }
    ::close(lock);
    if (port == 0) {
        whyNot = "smbd did not start: " + output;
        return nullptr;
    }
    return std::unique_ptr<SmbdServer>(new SmbdServer(address, port, directory, lease));
}

SmbdServer::SmbdServer(std::string address, uint16_t port, std::string directory, std::string lease)
    : address_(std::move(address)),
      port_(port),
      directory_(std::move(directory)),
      lease_(std::move(lease)) {}

SmbdServer::~SmbdServer() {
    ::unlink(lease_.c_str());
}

}  // namespace ds::test
