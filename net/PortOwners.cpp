#include "net/PortOwners.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>

#ifdef _WIN32
#include "net/SystemSockets.h"
// After SystemSockets.h: both need the <winsock2.h> it includes first.
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <map>
#else
#include <unistd.h>

#include <filesystem>
#include <fstream>
#endif

namespace net {

std::vector<std::uint64_t> SocketInodesOnPort(const std::string& table, std::uint16_t port) {
    std::vector<std::uint64_t> inodes;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ...; the
        // header line fails to read as numbers and is passed over.
        std::istringstream fields(line);
        std::string skipped, local;
        std::uint64_t inode = 0;
        if (!(fields >> skipped >> local)) continue;
        for (int i = 0; i < 7; ++i) fields >> skipped;
        if (!(fields >> inode) || inode == 0) continue;
        const std::size_t colon = local.rfind(':');
        if (colon == std::string::npos) continue;
        unsigned localPort = 0;
        const char* last = local.data() + local.size();
        const auto [end, error] = std::from_chars(local.data() + colon + 1, last, localPort, 16);
        if (error == std::errc{} && end == last && localPort == port) inodes.push_back(inode);
    }
    return inodes;
}

namespace {

// Kept in order of process id, each once.
void AddOwner(PortOwners& owners, std::uint32_t pid, std::string name) {
    const auto at =
        std::lower_bound(owners.others.begin(), owners.others.end(), pid,
                         [](const PortOwner& each, std::uint32_t id) { return each.pid < id; });
    if (at == owners.others.end() || at->pid != pid)
        owners.others.insert(at, {pid, std::move(name)});
}

}  // namespace

#ifdef _WIN32
namespace {

// The table for one address family; nothing when the system does not give it.
std::optional<std::vector<char>> UdpTable(ULONG family) {
    std::vector<char> storage;
    DWORD size = 0;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between the call that sizes it and the call that fills it.
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        storage.resize(size);
        result = GetExtendedUdpTable(storage.empty() ? nullptr : storage.data(), &size, FALSE,
                                     family, UDP_TABLE_OWNER_PID, 0);
    }
    if (result != NO_ERROR) return std::nullopt;
    return storage;
}

template <class Table>
bool AddPids(ULONG family, std::uint16_t port, std::vector<DWORD>& pids) {
    const auto storage = UdpTable(family);
    if (!storage) return false;
    const auto* table = reinterpret_cast<const Table*>(storage->data());
    const auto* rows = table->table;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        if (ntohs(static_cast<u_short>(rows[i].dwLocalPort)) == port) {
            pids.push_back(rows[i].dwOwningPid);
        }
    }
    return true;
}

// A snapshot names every process, protected ones too, where opening the process would need
// rights this user may lack.
std::map<DWORD, std::string> ProcessNames() {
    std::map<DWORD, std::string> names;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return names;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        names[entry.th32ProcessID] = NarrowText(entry.szExeFile);
    }
    CloseHandle(snapshot);
    return names;
}

}  // namespace

PortOwners FindUdpPortOwners(std::uint16_t port) {
    PortOwners owners;
    std::vector<DWORD> pids;
    const bool v4 = AddPids<MIB_UDPTABLE_OWNER_PID>(AF_INET, port, pids);
    const bool v6 = AddPids<MIB_UDP6TABLE_OWNER_PID>(AF_INET6, port, pids);
    owners.known = v4 || v6;
    const DWORD self = GetCurrentProcessId();
    pids.erase(std::remove(pids.begin(), pids.end(), self), pids.end());
    if (pids.empty()) return owners;
    const std::map<DWORD, std::string> names = ProcessNames();
    for (const DWORD pid : pids) {
        // Process id 0 is the idle process, which holds no socket: the owner was not told.
        if (pid == 0) {
            ++owners.hidden;
            continue;
        }
        const auto name = names.find(pid);
        AddOwner(owners, pid, name == names.end() ? std::string() : name->second);
    }
    return owners;
}
#else
namespace {

namespace fs = std::filesystem;

std::optional<std::string> ReadText(const fs::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "socket:[12345]", as the links in /proc/PID/fd read for sockets.
std::optional<std::uint64_t> SocketInode(const std::string& link) {
    constexpr std::string_view kPrefix = "socket:[";
    if (!link.starts_with(kPrefix) || !link.ends_with(']')) return std::nullopt;
    std::uint64_t inode = 0;
    const char* last = link.data() + link.size() - 1;
    const auto [end, error] = std::from_chars(link.data() + kPrefix.size(), last, inode);
    if (error != std::errc{} || end != last) return std::nullopt;
    return inode;
}

// Processes come and go while /proc is read: an entry that vanishes is passed over.
template <class Each>
void ForEachEntry(const fs::path& folder, Each each) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        each(it->path());
    }
}

}  // namespace

PortOwners FindUdpPortOwners(std::uint16_t port) {
    PortOwners owners;
    std::set<std::uint64_t> wanted;
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        const auto text = ReadText(table);
        if (!text) continue;
        owners.known = true;
        for (const std::uint64_t inode : SocketInodesOnPort(*text, port)) wanted.insert(inode);
    }
    if (wanted.empty()) return owners;
    // One socket can be shared by several processes; each of them holds the port.
    std::set<std::uint64_t> found;
    const std::string self = std::to_string(getpid());
    ForEachEntry("/proc", [&](const fs::path& process) {
        const std::string pid = process.filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) return;
        bool holds = false;
        ForEachEntry(process / "fd", [&](const fs::path& descriptor) {
            std::error_code error;
            const auto inode = SocketInode(fs::read_symlink(descriptor, error).string());
            if (!inode || !wanted.contains(*inode)) return;
            found.insert(*inode);
            holds = true;
        });
        if (!holds || pid == self) return;
        std::string name = ReadText(process / "comm").value_or("");
        if (!name.empty() && name.back() == '\n') name.pop_back();
        AddOwner(owners, static_cast<std::uint32_t>(std::stoul(pid)), std::move(name));
    });
    // A process whose descriptors this user may not read, or one in another process
    // namespace: the socket is there, its owner is not shown.
    owners.hidden = static_cast<int>(wanted.size() - found.size());
    return owners;
}
#endif

}  // namespace net
