#include "smbd_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
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

std::unique_ptr<SmbdServer> SmbdServer::start(std::string& whyNot, const std::string& address) {
    if (::geteuid() != 0) {
        whyNot = "needs root to run smbd with its own accounts";
        return nullptr;
    }
    if (!smbdInstalled()) {
        whyNot = "smbd is not installed (Debian package samba)";
        return nullptr;
    }
    // A port taken between asking and binding makes smbd fail; one more try covers that.
    std::string output;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const uint16_t port = freeTcpPort(address);
        std::string command = shellQuoted(scriptPath()) + " --addr " + shellQuoted(address) +
                              " --port " + std::to_string(port);
        for (const Account& account : accounts())
            command += " --user " + shellQuoted(account.user + ":" + account.password);
        output.clear();
        const int status = run(command, output);
        std::istringstream lines(output);
        std::string key;
        std::string value;
        std::string directory;
        while (lines >> key >> value) {
            if (key == "dir")
                directory = value;
        }
        if (status == 0 && !directory.empty())
            return std::unique_ptr<SmbdServer>(new SmbdServer(address, port, directory));
    }
    whyNot = "smbd did not start: " + output;
    return nullptr;
}

SmbdServer::SmbdServer(std::string address, uint16_t port, std::string directory)
    : address_(std::move(address)), port_(port), directory_(std::move(directory)) {}

SmbdServer::~SmbdServer() {
    std::string ignored;
    run(shellQuoted(scriptPath()) + " --stop " + shellQuoted(directory_), ignored);
}

}  // namespace ds::test
