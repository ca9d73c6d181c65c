// Exchange rate of the link's Exchange against the simulated unit over TCP and
// over a pseudo-terminal, beside a minimal client on the same unit in the same
// run, and the time of the presence check of all 256 COM ports.
//
//   tavrin_bench [--seconds S] [--rounds R]
//
// Each round runs the link and the minimal client for S seconds each, one after
// the other; the median of the rounds is reported. The transaction log is off.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/minimal_client.h"
#include "bench/bench_args.h"
#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"
#include "sim/sim_unit.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

const char* const kRequest = "0001r1loc;;";

// Exchanges per second of `exchange` over `seconds`; 0 when one fails.
template <typename F>
double Rate(double seconds, F exchange) {
    const auto start = Clock::now();
    long count = 0;
    while (Seconds(start) < seconds) {
        for (int i = 0; i < 20; ++i) {
            if (!exchange()) return 0.0;
            ++count;
        }
    }
    return double(count) / Seconds(start);
}

bool LinkExchange(CFerritRemoteControl& link) {
    return link.Exchange(kRequest, 0).Answered();
}

struct Figures {
    double link = 0;
    double minimal = 0;
    double ratio = 0;   // median of the rounds' own ratios
};

Figures Summarise(const std::vector<double>& linkRates, const std::vector<double>& minimalRates) {
    std::vector<double> ratios;
    for (size_t i = 0; i < linkRates.size() && i < minimalRates.size(); ++i)
        ratios.push_back(minimalRates[i] > 0 ? linkRates[i] / minimalRates[i] : 0.0);
    return {Median(linkRates), Median(minimalRates), Median(ratios)};
}

// Runs `rounds` rounds of the link (runLink measures and records its own
// rate) beside the minimal client (opened by openMinimal, closed after its
// measurement). The order alternates from round to round so that neither side
// always runs on a warmer (or busier) machine.
template <class RunLink, class OpenMinimal, class Minimal>
Figures Alternate(int rounds, double seconds, RunLink runLink, OpenMinimal openMinimal, Minimal& minimal,
                  std::vector<double>& linkRates, std::vector<double>& minimalRates) {
    auto runMinimal = [&]() -> bool {
        if (!openMinimal()) return false;
        ParsedReply reply;
        minimalRates.push_back(Rate(seconds, [&] { return minimal.Exchange(kRequest, reply) == kResultOk; }));
        minimal.Close();
        return true;
    };
    for (int r = 0; r < rounds; ++r) {
        const bool ok = r % 2 == 0 ? runLink() && runMinimal() : runMinimal() && runLink();
        if (!ok) return {};
    }
    return Summarise(linkRates, minimalRates);
}

Figures MeasureTcp(const std::string& address, uint16_t port, int rounds, double seconds) {
    std::vector<double> linkRates, minimalRates;
    CFerritRemoteControl link(nullptr);
    link.SetCloseOnErrors(false, false);
    MinimalTcpClient minimal;
    auto runLink = [&]() -> bool {
        {
            // One connection to the unit at a time, as a real unit takes it.
            LinkGuard guard(link.LinkMutex());
            link.SelectEthernet(address);
            if (link.ConnectSocket() != 0) return false;
        }
        linkRates.push_back(Rate(seconds, [&] { return LinkExchange(link); }));
        LinkGuard guard(link.LinkMutex());
        link.CloseEthernet();
        return true;
    };
    auto openMinimal = [&] { return minimal.Connect(address, port); };
    return Alternate(rounds, seconds, runLink, openMinimal, minimal, linkRates, minimalRates);
}

Figures MeasureSerial(const std::string& slavePath, const std::string& folder, int rounds, double seconds,
                      bool bytewise) {
    std::vector<double> linkRates, minimalRates;
    SetProgramFolder(folder);
    MinimalSerialClient minimal;
    minimal.SetBytewise(bytewise);
    auto runLink = [&]() -> bool {
        CFerritRemoteControl link(nullptr);
        {
            LinkGuard guard(link.LinkMutex());
            if (link.OpenSerialPort(0) != kResultOk) return false;
        }
        linkRates.push_back(Rate(seconds, [&] { return LinkExchange(link); }));
        return true;
    };
    auto openMinimal = [&] { return minimal.Open(slavePath); };
    return Alternate(rounds, seconds, runLink, openMinimal, minimal, linkRates, minimalRates);
}

double MeasurePortScanMs(int rounds) {
    std::vector<double> ms;
    int present = 0;
    for (int r = 0; r < rounds; ++r) {
        present = 0;
        const auto start = Clock::now();
        for (int i = 0; i < 256; ++i) present += ComPortPresent(i) ? 1 : 0;
        ms.push_back(Seconds(start) * 1000.0);
    }
    std::printf("COM ports present: %d\n", present);
    return Median(ms);
}

void PrintRow(const char* transport, const Figures& f) {
    const double ratio = f.ratio;
    std::printf("%-18s %12.0f %14.0f %8.2f  %s\n", transport, f.link, f.minimal, ratio,
                ratio >= 0.9 ? "ok" : "BELOW 0.9");
}

}  // namespace

int main(int argc, char** argv) {
    BenchArgs args;
    if (!ParseBenchArgs(argc, argv, "tavrin_bench", args)) return 2;
    const double seconds = args.seconds;
    const int rounds = args.rounds;

    const std::string address = RandomBenchAddress();
    const std::string folder = MakeBenchFolder("tavrin_bench");
    if (folder.empty()) return 1;
    const std::string ports = folder + "/ports";

    const auto started = StartBenchUnit(folder, address);
    if (!started) return 1;
    sim::SimUnit& unit = *started;

    std::printf("Exchanges per second (r1loc;;, log off, median of %d rounds of %.1f s)\n", rounds, seconds);
    std::printf("%-18s %12s %14s %8s\n", "transport", "Exchange", "minimal client", "ratio*");
    const Figures tcp = MeasureTcp(unit.TcpAddress(), unit.TcpPort(), rounds, seconds);
    PrintRow("TCP (loopback)", tcp);
    const Figures serial = MeasureSerial(unit.PtySlavePath(), folder, rounds, seconds, false);
    PrintRow("pseudo-terminal", serial);
    // For comparison only: the minimal client reading one byte per call.
    const Figures bytewise = MeasureSerial(unit.PtySlavePath(), folder, rounds, seconds, true);
    std::printf("%-18s %12.0f %14.0f %8.2f  (minimal client reading one byte per call)\n", "pty, bytewise",
                bytewise.link, bytewise.minimal, bytewise.ratio);

    unit.Stop();
    ::rmdir(ports.c_str());
    ::rmdir(folder.c_str());
    SetProgramFolder(ExecutableFolder());

    std::printf("* median of the ratios of the rounds (each round runs both clients)\n");
    const double scanMs = MeasurePortScanMs(rounds);
    std::printf("Presence check of COM1-COM256: %.2f ms (target < 50 ms) %s\n", scanMs,
                scanMs < 50.0 ? "ok" : "ABOVE 50 ms");
    const bool ok = tcp.minimal > 0 && serial.minimal > 0 && tcp.link > 0 && serial.link > 0;
    return ok ? 0 : 1;
}
