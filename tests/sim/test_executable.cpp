// The tavrin_unit_sim program: options, what it prints, clean stop on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/version.h"
#include "platform/program_folder.h"
#include "sim_test_util.h"

using namespace simtest;

namespace {

// The program lies in TAVRIN_BIN_DIR, which is also where this test runs from.
std::string SimProgram() {
    std::vector<std::string> dirs;
    if (const char* dir = std::getenv("TAVRIN_BIN_DIR")) dirs.push_back(dir);
    dirs.push_back(std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
    for (const auto& dir : dirs) {
        const std::string path = dir + "/tavrin_unit_sim";
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

struct Child {
    pid_t pid = -1;
    int out = -1;
    int in = -1;   // its standard input, with `withInput`
};

Child Launch(const std::vector<std::string>& args, bool withInput = false) {
    // Everything the child needs is prepared before the fork.
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    int inFds[2] = {-1, -1};
    if (::pipe(pipeFds) != 0 || (withInput && ::pipe(inFds) != 0)) return {};
    Child child;
    child.pid = ::fork();
    if (child.pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        if (withInput) {
            ::dup2(inFds[0], 0);
            ::close(inFds[1]);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    child.out = pipeFds[0];
    if (withInput) {
        ::close(inFds[0]);
        child.in = inFds[1];
    }
    return child;
}

// Reads the child's output until `marker` has appeared or the output ends.
std::string ReadUntil(int fd, const std::string& marker) {
    std::string got;
    while (got.find(marker) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kReplyWaitMs) <= 0) break;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, size_t(n));
    }
    return got;
}

int WaitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SimProgram, HelpDocumentsEveryOption) {
    const std::string program = SimProgram();
    if (program.empty()) GTEST_SKIP() << "tavrin_unit_sim not built";
    Child c = Launch({program, "--help"});
    const std::string text = ReadUntil(c.out, "\x04");
    ::close(c.out);
    EXPECT_EQ(WaitExit(c.pid), 0);
    for (const char* option : {"--serial-link", "--tcp", "--port", "--model", "--address", "--restart-ms",
                               "--no-drift", "--seed", "--fault", "--request-log", "--line-rate", "--latency-ms",
                               "--think-ms", "--help", "k840", "two-mode",
                               "Usage: tavrin_unit_sim", "\nExample:\n  tavrin_unit_sim "})
        EXPECT_NE(text.find(option), std::string::npos) << option;

    // Bad arguments exit 2; a unit that cannot start (a link in a folder that
    // does not exist) exits 1.
    const std::pair<std::vector<std::string>, int> failures[] = {
        {{program, "--address", "12345"}, 2},
        {{program, "--port"}, 2},
        {{program, "--line-rate", "0"}, 2},
        {{program, "--latency-ms", "-5"}, 2},
        {{program, "--think-ms", "1.5"}, 2},
        {{program, "--no-dirft"}, 2},
        {{program, "stray"}, 2},
        {{program, "--serial-link", "/nonexistent-folder/COM1"}, 1},
    };
    for (const auto& [args, status] : failures) {
        Child bad = Launch(args);
        ReadUntil(bad.out, "\x04");
        ::close(bad.out);
        EXPECT_EQ(WaitExit(bad.pid), status) << args[1];
    }
}

TEST(SimProgram, VersionIsTheProgramsOneVersion) {
    const std::string program = SimProgram();
    if (program.empty()) GTEST_SKIP() << "tavrin_unit_sim not built";
    Child c = Launch({program, "--version"});
    const std::string text = ReadUntil(c.out, "\x04");
    ::close(c.out);
    EXPECT_EQ(WaitExit(c.pid), 0);
    EXPECT_EQ(text, std::string("tavrin_unit_sim ") + ProgramVersion() + "\n");
}

TEST(SimProgram, ServesUntilSigtermThenRemovesItsLink) {
    const std::string program = SimProgram();
    if (program.empty()) GTEST_SKIP() << "tavrin_unit_sim not built";
    char pattern[] = "/tmp/sim_prog_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string link = dir + "/COM1";
    const std::string address = RandomLoopbackAddress();
    const std::string requestLog = dir + "/requests.log";
    Child c = Launch({program, "--serial-link", link, "--tcp", address, "--port", "0", "--address", "17",
                      "--model", "k840", "--no-drift", "--fault", "noetx:1", "--request-log", requestLog});
    const std::string banner = ReadUntil(c.out, "model");
    EXPECT_NE(banner.find("pty: /dev/pts/"), std::string::npos) << banner;
    EXPECT_NE(banner.find("link: " + link), std::string::npos) << banner;
    const size_t tcpAt = banner.find("tcp: " + address + ":");
    ASSERT_NE(tcpAt, std::string::npos) << banner;
    const int port = std::atoi(banner.c_str() + tcpAt + 6 + address.size());

    SerialClient serial(link);
    ASSERT_TRUE(serial.IsOpen());
    // The first reply lacks its ETX (the fault), the second is whole.
    ASSERT_TRUE(serial.Send(Frame("0017rgbty;;")));
    const std::string first = Reply(17, '1', "K840");
    EXPECT_EQ(serial.Exchange("0017rgudm;;"), first.substr(0, first.size() - 1) + Reply(17, '1', "0"));
    TcpClient tcp;
    ASSERT_TRUE(tcp.Connect(address, uint16_t(port)));
    EXPECT_EQ(tcp.Exchange("9999rgadd;;"), Reply(17, '1', "17"));

    ::kill(c.pid, SIGTERM);
    const std::string farewell = ReadUntil(c.out, "restarts");
    EXPECT_NE(farewell.find("stopped (SIGTERM)"), std::string::npos) << farewell;
    // Three requests taken and answered, one of them with the fault, one TCP connection.
    EXPECT_NE(farewell.find("counters: requests 3, replies 3, faults 1 (random 0), bad frames 0, "
                            "ignored while restarting 0, tcp connections 1, restarts 0\n"),
              std::string::npos)
        << farewell;
    ::close(c.out);
    EXPECT_EQ(WaitExit(c.pid), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    // The request log holds each request taken in, from both doors, as it came.
    std::string logged;
    EXPECT_TRUE(ReadWholeFile(requestLog, logged));
    EXPECT_EQ(logged, "0017rgbty;;\n0017rgudm;;\n9999rgadd;;\n");
    std::filesystem::remove_all(dir);
}

// --commands: a value set, the unit silent and answering again, while it runs.
TEST(SimProgram, CommandsOnStandardInputChangeTheRunningUnit) {
    const std::string program = SimProgram();
    if (program.empty()) GTEST_SKIP() << "tavrin_unit_sim not built";
    const std::string address = RandomLoopbackAddress();
    const std::string requestLog = std::filesystem::temp_directory_path() / ("sim-commands-" + address + ".log");
    std::filesystem::remove(requestLog);
    Child c = Launch({program, "--no-serial", "--tcp", address, "--port", "0", "--no-drift", "--commands",
                      "--request-log", requestLog},
                     true);
    const std::string banner = ReadUntil(c.out, "model");
    const size_t tcpAt = banner.find("tcp: " + address + ":");
    ASSERT_NE(tcpAt, std::string::npos) << banner;
    TcpClient tcp;
    ASSERT_TRUE(tcp.Connect(address, uint16_t(std::atoi(banner.c_str() + tcpAt + 6 + address.size()))));
    const auto command = [&c](const std::string& line) {
        EXPECT_EQ(::write(c.in, (line + "\n").data(), line.size() + 1), ssize_t(line.size() + 1));
        return ReadUntil(c.out, "ok " + line + "\n");
    };
    EXPECT_EQ(command("set 1snr 7.5"), "ok set 1snr 7.5\n");
    EXPECT_EQ(tcp.Exchange("0001r1snr;;"), Reply(1, '1', "7.5"));
    EXPECT_EQ(command("silent"), "ok silent\n");
    ASSERT_TRUE(tcp.Send("0001r1snr;;"));   // not answered: counted as a fault below
    std::string logged;
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(requestLog, logged) && logged.size() == 2 * 12; }));
    EXPECT_EQ(command("answer"), "ok answer\n");
    EXPECT_EQ(tcp.Exchange("0001r1snr;;"), Reply(1, '1', "7.5"));
    ::close(c.in);
    ::kill(c.pid, SIGTERM);
    const std::string farewell = ReadUntil(c.out, "restarts");
    EXPECT_NE(farewell.find("counters: requests 3, replies 2, faults 1"), std::string::npos) << farewell;
    ::close(c.out);
    EXPECT_EQ(WaitExit(c.pid), 0);
    std::filesystem::remove(requestLog);
}
