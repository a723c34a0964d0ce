#include "platform/linux/resolver_config.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/ip_helper.h"
#include "platform/linux/configuration_text.h"
#include "platform/linux/program_runs.h"
#include "platform/linux/system_bus.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

namespace {

namespace fs = std::filesystem;

// The mount points of the calling thread's mount namespace include `path`: a file bind-mounted
// there (as `ip netns exec` and containers do with resolv.conf) can't be replaced by rename.
bool isMountPoint(const std::string& path) {
    const auto table = readTextFile("/proc/thread-self/mountinfo");
    return table && mountTableHasMountPoint(*table, path);
}

bool writeInPlace(const std::string& path, std::string_view content, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::close(fd) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Replaces resolv.conf's content: by rename, or in place where the file is a mount point.
// "" or why it failed.
std::string writeResolvConf(const std::string& path, const std::string& content) {
    std::string error;
    const bool written = isMountPoint(path) ? writeInPlace(path, content, error)
                                            : replaceFileAtomically(path, content, &error);
    if (written) {
        return {};
    }
    return "写入 " + path +
           " 失败: " + singleLineName(text::encodingToGbk(error, text::terminalEncoding()));
}

bool isNameserverLine(std::string_view line) {
    const std::string text = trimmed(line);
    constexpr std::string_view kKey = "nameserver";
    return text.rfind(kKey, 0) == 0 &&
           (text.size() == kKey.size() || text[kKey.size()] == ' ' || text[kKey.size()] == '\t');
}

}  // namespace

std::string withNameservers(std::string_view content, const std::vector<std::string>& servers) {
    std::string nameservers;
    for (const auto& server : servers) {
        nameservers += "nameserver " + server + "\n";
    }
    std::string out;
    bool placed = false;
    for (const auto& line : linesOf(content)) {
        if (!isNameserverLine(line)) {
            out += line + "\n";
        } else if (!placed) {
            out += nameservers;
            placed = true;
        }
    }
    return placed ? out : out + nameservers;
}

bool mountTableHasMountPoint(std::string_view mountinfo, const std::string& path) {
    for (const auto& line : linesOf(mountinfo)) {
        // The fifth field is the mount point, with space, tab, newline and '\' as octal escapes.
        std::size_t start = 0;
        for (int field = 0; field < 4 && start != std::string::npos; ++field) {
            start = line.find(' ', start);
            start = start == std::string::npos ? start : start + 1;
        }
        if (start == std::string::npos) {
            continue;
        }
        const std::string escaped = line.substr(start, line.find(' ', start) - start);
        std::string point;
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == '\\' && i + 3 < escaped.size()) {
                point +=
                    static_cast<char>(std::strtol(escaped.substr(i + 1, 3).c_str(), nullptr, 8));
                i += 3;
            } else {
                point += escaped[i];
            }
        }
        if (point == path) {
            return true;
        }
    }
    return false;
}

bool resolvedServesLinks(const NamespaceId& ns) {
    // The name of systemd-resolved's process, cut at 15 bytes.
    const auto resolved = processesInNamespace("systemd-resolve", ns);
    return !resolved.empty() && busOwnerIsOneOf("org.freedesktop.resolve1", resolved);
}

void revertLinkServers(const std::string& device, const NamespaceId& ns) {
    if (resolvedServesLinks(ns)) {
        (void)runProgram({"resolvectl", "revert", device}, kToolWait);
    }
}

ResolverChange::ResolvConf ResolverChange::readResolvConf(const std::string& configured) {
    std::error_code error;
    const fs::path target = fs::weakly_canonical(configured, error);
    ResolvConf file{error ? configured : target.string(), std::nullopt};
    file.content = readTextFile(file.path);
    return file;
}

ResolverChange::ResolverChange(const std::string& device, std::uint32_t index,
                               const NamespaceId& ns, const HostFiles& files)
    : device_(device),
      resolvConfPath_(files.options().resolvConfPath),
      viaResolved_(resolvedServesLinks(ns)),
      resolvedBefore_(files.resolvedServers(index)),
      resolvConfBefore_(readResolvConf(resolvConfPath_)) {}

std::string ResolverChange::set(const std::vector<std::string>& servers) const {
    if (viaResolved_) {
        std::vector<std::string> command{"resolvectl", servers.empty() ? "revert" : "dns", device_};
        command.insert(command.end(), servers.begin(), servers.end());
        const auto result = runProgram(command, kToolWait);
        return result.exitStatus == 0 ? std::string() : failureOf("resolvectl", result);
    }
    return writeResolvConf(resolvConfBefore_.path,
                           withNameservers(resolvConfBefore_.content.value_or(""), servers));
}

std::string ResolverChange::putBack() const {
    if (viaResolved_) {
        return set(resolvedBefore_.value_or(std::vector<std::string>{}));
    }
    if (const ResolvConf now = readResolvConf(resolvConfPath_);
        now.content != resolvConfBefore_.content) {
        return resolvConfBefore_.content
                   ? writeResolvConf(resolvConfBefore_.path, *resolvConfBefore_.content)
                   : (::unlink(resolvConfBefore_.path.c_str()) == 0 ? "" : errnoText(errno));
    }
    return {};
}

}  // namespace nicops::platform::linux_host
