// The bridge's cost and speed: the time the bridge adds to one exchange (one
// client through the bridge against the same client straight to the unit on a
// pseudo-terminal, in the same run); eight clients at once (total and each
// one's share); the time of a /metrics scrape while the eight run.
//
//   tavrin_bridge_bench [--seconds S] [--rounds R]
//
// The unit is the simulated one on a pseudo-terminal, in this process; the
// bridge is the built tavrin_bridge beside this program, as its own process.
// Each round runs the straight client and the bridge's client for S seconds
// each, in alternating order (the bridge holds the port while it runs, so the
// two never run at once); the medians of the rounds are reported.
#include <httplib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_args.h"
#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "platform/debug_out.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const char* const kRequest = "0001r1loc;;";
constexpr int kClients = 8;
// The most the bridge may add to one exchange: 2 % of one exchange on the
// fastest real line (a poll read such as r1pre;; is 14 bytes out and 19 back,
// 10 bits each: 2.9 ms at 115200 baud).
constexpr double kAddedTargetUs = 60.0;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// One client's exchanges over `seconds`, and when asked each one's time in
// microseconds; each link object is used by its own thread only and has its
// own locks, so the clients of this process queue at the bridge, not here.
long Exchanges(CFerritRemoteControl& link, double seconds, std::vector<double>* timesUs = nullptr) {
    const auto start = Clock::now();
    long count = 0;
    while (Seconds(start) < seconds) {
        const auto t = Clock::now();
        if (!link.Exchange(kRequest, 0, ExchangeLocks::Held).Answered()) return -1;
        if (timesUs) timesUs->push_back(Seconds(t) * 1e6);
        ++count;
    }
    return count;
}

bool ConnectTo(CFerritRemoteControl& link, const std::string& ip) {
    link.SetCloseOnErrors(false, false);
    link.SelectEthernet(ip);
    return link.ConnectSocket() == 0;
}

struct Bridge {
    pid_t pid = -1;
    bool Start(const std::string& program, const std::string& pty, const std::string& ip) {
        std::vector<std::string> args = {program, "--serial", pty, "--listen", ip, "--metrics", ip + ":9464",
                                         "--max-clients", "16"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) return false;
        // Ready once its metrics answer.
        for (int i = 0; i < 500; ++i) {
            httplib::Client client(ip, 9464);
            if (client.Get("/")) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void Stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }
};

}  // namespace

int main(int argc, char** argv) {
    BenchArgs args;
    if (!ParseBenchArgs(argc, argv, "tavrin_bridge_bench", args)) return 2;
    const double seconds = args.seconds;
    const int rounds = args.rounds;
    SetDebugSink([](const std::string&) {});
    const std::string program = ExecutableFolder() + "/tavrin_bridge";
    const std::string ip = RandomBenchAddress();
    const std::string folder = MakeBenchFolder("tavrin_bridge_bench");
    if (folder.empty()) return 1;
    const std::string ports = folder + "/ports";
    const auto started = StartBenchUnit(folder);
    if (!started) return 1;
    sim::SimUnit& unit = *started;
    SetProgramFolder(folder);

    std::vector<double> straight, through, straightMedianUs, throughMedianUs, addedUs, total, totalRatios, worstShare, scrapeP99;
    bool failed = false;
    for (int r = 0; r < rounds && !failed; ++r) {
        double straightRate = 0, throughRate = 0;
        std::vector<double> straightUs, throughUs;
        auto runStraight = [&] {
            CFerritRemoteControl link(nullptr);
            if (link.OpenSerialPort(0) != kResultOk) return false;
            const long n = Exchanges(link, seconds, &straightUs);
            straightRate = double(n) / seconds;
            return n > 0;
        };
        auto runThrough = [&] {
            Bridge bridge;
            if (!bridge.Start(program, ports + "/COM1", ip)) return false;
            CFerritRemoteControl one(nullptr);
            bool ok = ConnectTo(one, ip);
            const long n = ok ? Exchanges(one, seconds, &throughUs) : -1;
            throughRate = double(n) / seconds;
            ok = n > 0;
            // Eight clients at once, and scrapes beside them.
            std::vector<long> counts(kClients, 0);
            std::vector<std::thread> threads;
            std::vector<double> scrapeMs;
            for (int c = 0; c < kClients && ok; ++c) {
                threads.emplace_back([&, c] {
                    CFerritRemoteControl link(nullptr);
                    counts[size_t(c)] = ConnectTo(link, ip) ? Exchanges(link, seconds) : -1;
                });
            }
            std::thread scraper([&] {
                httplib::Client client(ip, 9464);
                client.set_keep_alive(true);
                const auto start = Clock::now();
                while (Seconds(start) < seconds) {
                    const auto t = Clock::now();
                    const auto res = client.Get("/metrics");
                    if (!res || res->status != 200) return;
                    scrapeMs.push_back(Seconds(t) * 1000.0);
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            });
            for (std::thread& t : threads) t.join();
            scraper.join();
            bridge.Stop();
            long sum = 0, least = -1;
            for (const long c : counts) {
                if (c <= 0) ok = false;
                sum += c;
                least = least < 0 ? c : std::min(least, c);
            }
            if (ok && !scrapeMs.empty()) {
                total.push_back(double(sum) / seconds);
                totalRatios.push_back(double(sum) / double(n));
                worstShare.push_back(double(least) / (double(sum) / kClients));
                std::sort(scrapeMs.begin(), scrapeMs.end());
                scrapeP99.push_back(scrapeMs[std::min(scrapeMs.size() - 1, scrapeMs.size() * 99 / 100)]);
            }
            return ok && !scrapeMs.empty();
        };
        const bool ok = r % 2 == 0 ? runStraight() && runThrough() : runThrough() && runStraight();
        if (!ok) {
            failed = true;
            break;
        }
        straight.push_back(straightRate);
        through.push_back(throughRate);
        // The median exchange through the bridge less the median exchange
        // straight: the middle of each, so that a moment the machine gave to
        // others weighs little.
        straightMedianUs.push_back(Median(straightUs));
        throughMedianUs.push_back(Median(throughUs));
        addedUs.push_back(throughMedianUs.back() - straightMedianUs.back());
    }
    unit.Stop();
    ::rmdir(ports.c_str());
    ::rmdir(folder.c_str());
    if (failed) {
        std::fprintf(stderr, "tavrin_bridge_bench: a round failed\n");
        return 1;
    }
    std::printf("Exchanges per second (r1loc;;, log off, poll cycle every 2000 ms, median of %d rounds of %.1f s)\n",
                rounds, seconds);
    std::printf("one client straight to the pty: %.0f/s  (median exchange %.1f us)\n", Median(straight),
                Median(straightMedianUs));
    std::printf("one client through the bridge:  %.0f/s  (median exchange %.1f us)\n", Median(through),
                Median(throughMedianUs));
    std::printf("time the bridge adds to one exchange: %.1f us (rounds %.1f to %.1f; target < %.0f us, 2 %% of an "
                "exchange at 115200 baud) %s\n",
                Median(addedUs), *std::min_element(addedUs.begin(), addedUs.end()),
                *std::max_element(addedUs.begin(), addedUs.end()), kAddedTargetUs,
                Median(addedUs) < kAddedTargetUs ? "ok" : "ABOVE");
    std::printf("eight clients together:         %.0f/s  ratio to one client %.2f (target >= 0.9) %s\n",
                Median(total), Median(totalRatios), Median(totalRatios) >= 0.9 ? "ok" : "BELOW");
    std::printf("least share of the fair share:  %.2f (target >= 0.8) %s\n", Median(worstShare),
                Median(worstShare) >= 0.8 ? "ok" : "BELOW");
    std::printf("/metrics scrape p99 while eight clients run: %.2f ms (target < 5 ms) %s\n", Median(scrapeP99),
                Median(scrapeP99) < 5.0 ? "ok" : "ABOVE");
    return 0;
}
