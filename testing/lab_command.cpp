// praveltest-lab: the namespace lab that the tests build, for scripts.
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstring>
#include <exception>

#include "testing/Lab.h"
#include "testing/Options.h"

namespace {

constexpr char kUsage[] =
    "usage: praveltest-lab up NAME [--host A.B.C.D]... [--second-host A.B.C.D]...\n"
    "                          [--host-name-address A.B.C.D]\n"
    "       praveltest-lab down NAME\n"
    "       praveltest-lab exec NAMESPACE -- COMMAND [ARGUMENT]...\n"
    "up makes NAME-sw with a bridge, NAME-tool at 10.1.2.3/24 and NAME-h1, NAME-h2, ... at\n"
    "each --host, and prints each host's namespace and address; --second-host adds a second\n"
    "network, NAME-tool on it at 10.7.0.3/24 on eth1, and hosts there; down ends every process in\n"
    "them and deletes them; exec runs a command in one, under the host name praveltest-lab.\n";

int Up(int argc, char** argv) {
    const lab::Options options(argc, argv, 3, {"host", "second-host", "host-name-address"});
    std::string why;
    if (!lab::Available(&why)) {
        std::fprintf(stderr, "praveltest-lab: %s\n", why.c_str());
        return 1;
    }
    lab::Lab made(24, options.Text("host-name-address", lab::kToolAddress), argv[2]);
    std::printf("%s %s\n", made.ToolNamespace().c_str(), lab::kToolAddress);
    for (const std::string& address : options.All("host")) {
        std::printf("%s %s\n", made.AddHost(address).c_str(), address.c_str());
    }
    const std::vector<std::string> second = options.All("second-host");
    if (!second.empty()) made.AddSecondNetwork();
    for (const std::string& address : second) {
        std::printf("%s %s\n", made.AddHost(address, -1, 1).c_str(), address.c_str());
    }
    made.Keep();
    return 0;
}

int Exec(int argc, char** argv) {
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) throw lab::UsageError("exec needs -- COMMAND");
    std::vector<std::string> command =
        lab::Lab::ExecCommand(argv[2], std::vector<std::string>(argv + 4, argv + argc));
    std::vector<char*> pointers;
    for (std::string& each : command) pointers.push_back(each.data());
    pointers.push_back(nullptr);
    execvp(pointers[0], pointers.data());
    std::fprintf(stderr, "praveltest-lab: cannot run %s: %s\n", pointers[0], std::strerror(errno));
    return 127;
}

}  // namespace

int main(int argc, char** argv) {
    if (lab::PrintHelp(argc, argv, kUsage)) return 0;
    const std::string verb = argc > 1 ? argv[1] : "";
    try {
        if (argc < 3) throw lab::UsageError("a verb and a name are needed");
        if (verb == "up") return Up(argc, argv);
        if (verb == "exec") return Exec(argc, argv);
        if (verb == "down" && argc == 3) {
            lab::RemoveLab(argv[2]);
            return 0;
        }
        throw lab::UsageError("unknown command " + verb);
    } catch (const lab::UsageError& error) {
        return lab::UsageFailure("praveltest-lab", error);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "praveltest-lab: %s\n", error.what());
        return 1;
    }
}
