// tavrin_unit_sim: a simulated receiver unit on a pseudo-terminal and/or TCP.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "platform/std_streams.h"
#include "platform/stop_signals.h"
#include "platform/version.h"
#include "sim/sim_unit.h"
#include "platform/nearest_word.h"

namespace {

const char kUsageLine[] = "Usage: tavrin_unit_sim [OPTIONS]\n";

const char kUsage[] =
    "Usage: tavrin_unit_sim [OPTIONS]\n"
    "A simulated receiver unit. It answers the unit protocol on a pseudo-terminal\n"
    "and, when asked, on TCP, until it receives SIGINT or SIGTERM.\n"
    "\n"
    "  --serial-link PATH   place a symbolic link to the pseudo-terminal at PATH\n"
    "                       (an existing link there is replaced; removed at exit)\n"
    "  --no-serial          do not open a pseudo-terminal (needs --tcp)\n"
    "  --tcp ADDRESS        also listen on ADDRESS (IPv4, e.g. 127.0.0.5)\n"
    "  --port N             TCP port (default 9999; 0 = any free port)\n"
    "  --model MODEL        k840 (one demodulator mode) or two-mode (default)\n"
    "  --mode N             starting demodulator mode of a two-mode unit: 0 narrowband\n"
    "                       (default) or 1 DVB-T\n"
    "  --address N          the unit's address, 0 to 9998 (default 1)\n"
    "  --restart-ms N       silence after a mode change or factory reset (default 7000)\n"
    "  --line-rate BAUD     keep serial line time on the pseudo-terminal (10 bits a\n"
    "                       byte): answer a request no earlier than its last byte could\n"
    "                       have arrived, and send each reply byte one byte time apart\n"
    "  --latency-ms MS      delay every TCP reply by MS (the network's round trip)\n"
    "  --think-ms MS        the unit's own time per request with --line-rate or\n"
    "                       --latency-ms (default 2)\n"
    "  --no-drift           keep SNR, levels and lock values still\n"
    "  --seed N             seed of the wandering values (default 1)\n"
    "  --fault NAME[:COUNT[:MS[:CODE]]]\n"
    "                       misbehave on the next COUNT replies (default: all),\n"
    "                       with CODE only those to requests for that code;\n"
    "                       NAME is one of silence, noisebeforestx, badchecksum, noetx,\n"
    "                       splittcpsegment (pause MS, default 50), dropconnection,\n"
    "                       slowreply (delay MS), replytwice, replytwiceapart (the\n"
    "                       repeat as a write of its own, MS later), flood (for MS, default\n"
    "                       3000), drip (one byte every MS, default 100), oddaddress\n"
    "                       (the address read reports MS, default 12345), restart\n"
    "  --silent-after N     answer the first N requests, then none at all (a unit\n"
    "                       that stops half way through an operation)\n"
    "  --random-faults PERCENT[:MS]\n"
    "                       PERCENT of the replies (0 to 100) meet a fault drawn at\n"
    "                       random (silence, noise, bad checksum, no ETX, split reply,\n"
    "                       dropped connection, slow reply, repeated reply, flood,\n"
    "                       drip, restart), with delays up to MS (default 600);\n"
    "                       the draw follows --seed\n"
    "  --request-log FILE   append each request taken in to FILE at once, one line\n"
    "                       each: the text between STX and the checksum\n"
    "  --commands           take commands from standard input while it runs, one a\n"
    "                       line, each acknowledged on standard output with \"ok\" and\n"
    "                       the command: set CODE VALUE (the value as on the wire),\n"
    "                       silent (answer nothing), answer (answer again)\n"
    "  --oracle             every setting and reception value names the code it was\n"
    "                       read from (integer TTnnnn, number TT.nnnn, frequency\n"
    "                       TT.00nnnn, text TT-nnnn; TT is the code's own tag), so that\n"
    "                       a reply tells which request it answers\n"
    "  -h, --help           show this text\n"
    "  --version            print the version\n"
    "\n"
    "On start it prints the pseudo-terminal's path and the TCP address it listens on;\n"
    "when it stops, a line of counters (requests, replies, faults, connections).\n"
    "Exit status: 0 stopped by SIGINT or SIGTERM (or --help, --version), 1 a unit\n"
    "that could not start, 2 a bad command line.\n"
    "Example:\n"
    "  tavrin_unit_sim --serial-link /tmp/COM1 --tcp 127.0.0.2 --fault slowreply:3:800\n";

// The options the usage text lists, for the suggestion after a mistyped one.
std::vector<std::string> OptionNames() {
    std::vector<std::string> names;
    const std::string text = kUsage;
    for (size_t at = text.find("\n  "); at != std::string::npos; at = text.find("\n  ", at + 1)) {
        size_t begin = at + 3;
        if (text.compare(begin, 4, "-h, ") == 0) begin += 4;
        if (text.compare(begin, 2, "--") != 0) continue;
        names.push_back(text.substr(begin, text.find_first_of(" \n", begin) - begin));
    }
    return names;
}

bool ParseNumber(const char* text, long low, long high, long* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < low || v > high) return false;
    *out = v;
    return true;
}

bool ParseFaultOption(const std::string& text, sim::Fault* fault, int* count, uint32_t* ms, std::string* code) {
    const size_t c1 = text.find(':');
    if (!sim::ParseFault(text.substr(0, c1), fault)) return false;
    *count = -1;
    *ms = 0;
    if (c1 == std::string::npos) return true;
    const size_t c2 = text.find(':', c1 + 1);
    long v = 0;
    if (!ParseNumber(text.substr(c1 + 1, c2 - c1 - 1).c_str(), -1, 1000000, &v)) return false;
    *count = int(v);
    if (c2 == std::string::npos) return true;
    const size_t c3 = text.find(':', c2 + 1);
    if (!ParseNumber(text.substr(c2 + 1, c3 - c2 - 1).c_str(), 0, 600000, &v)) return false;
    *ms = uint32_t(v);
    if (c3 == std::string::npos) return true;
    *code = text.substr(c3 + 1);
    return code->size() == 4;
}

// Exit statuses as tavrinctl has them: 2 bad arguments, 1 a unit that could
// not start (its pseudo-terminal, link or TCP address), 0 a clean stop.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A bad command line, as tavrinctl reports one: the reason, the usage line,
// where the rest is; exit status 2. A unit that cannot start: the reason.
int Fail(const std::string& message, int status = kExitUsage) {
    std::fprintf(stderr, "tavrin_unit_sim: %s\n", message.c_str());
    if (status == kExitUsage) std::fprintf(stderr, "%s\nRun \"tavrin_unit_sim --help\" for the options.\n", kUsageLine);
    return status;
}

// One line of --commands; false when it is none.
bool RunCommand(sim::SimUnit& unit, const std::string& line) {
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    if (verb == "silent" && space == std::string::npos) {
        unit.SetFault(sim::Fault::Silence);
    } else if (verb == "answer" && space == std::string::npos) {
        unit.ClearFault();
    } else if (verb == "set" && space != std::string::npos && line.size() > space + 6 && line[space + 5] == ' ') {
        unit.SetValue(line.substr(space + 1, 4), line.substr(space + 6));
    } else {
        return false;
    }
    return true;
}

// Reads --commands until standard input ends.
void TakeCommands(sim::SimUnit& unit) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty()) continue;
        if (RunCommand(unit, line)) {
            std::printf("ok %s\n", line.c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "tavrin_unit_sim: not a command: '%s' (set CODE VALUE, silent, answer)\n", line.c_str());
        }
    }
}

int UnknownWord(const std::string& word) {
    if (word.rfind('-', 0) != 0) return Fail("unexpected argument '" + word + "'");
    return Fail("unknown option '" + word + "'" + DidYouMean(word, OptionNames()));
}

}  // namespace

int main(int argc, char** argv) {
    if (!OpenMissingStandardStreams()) return 1;
    sim::SimOptions options;
    sim::Fault fault = sim::Fault::None;
    int faultCount = -1;
    std::string faultCode;
    uint32_t faultMs = 0;
    bool commands = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long v = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("tavrin_unit_sim %s\n", ProgramVersion());
            return 0;
        } else if (arg == "--no-serial") {
            options.serial = false;
        } else if (arg == "--no-drift") {
            options.drift = false;
        } else if (arg == "--oracle") {
            options.oracle = true;
        } else if (arg == "--commands") {
            commands = true;
        } else if (!hasValue) {
            const std::vector<std::string> known = OptionNames();
            if (std::find(known.begin(), known.end(), arg) == known.end()) return UnknownWord(arg);
            return Fail(arg + " needs a value");
        } else if (arg == "--serial-link") {
            options.ptyLinkPath = argv[++i];
        } else if (arg == "--request-log") {
            options.requestLogPath = argv[++i];
        } else if (arg == "--tcp") {
            options.tcpAddress = argv[++i];
        } else if (arg == "--port") {
            if (!ParseNumber(argv[++i], 0, 65535, &v)) return Fail("bad port");
            options.tcpPort = uint16_t(v);
        } else if (arg == "--model") {
            const std::string m = argv[++i];
            if (m != "k840" && m != "two-mode") return Fail("model must be k840 or two-mode");
            options.k840 = m == "k840";
        } else if (arg == "--mode") {
            if (!ParseNumber(argv[++i], 0, 1, &v)) return Fail("mode must be 0 or 1");
            options.mode = int(v);
        } else if (arg == "--address") {
            if (!ParseNumber(argv[++i], 0, 9998, &v)) return Fail("address must be 0 to 9998");
            options.address = int(v);
        } else if (arg == "--restart-ms") {
            if (!ParseNumber(argv[++i], 0, 600000, &v)) return Fail("bad restart time");
            options.restartMs = uint32_t(v);
        } else if (arg == "--line-rate") {
            if (!ParseNumber(argv[++i], 1, 4000000, &v)) return Fail("bad line rate (1 to 4000000 baud)");
            options.lineRate = uint32_t(v);
        } else if (arg == "--latency-ms") {
            if (!ParseNumber(argv[++i], 0, 600000, &v)) return Fail("bad latency");
            options.latencyMs = uint32_t(v);
        } else if (arg == "--think-ms") {
            if (!ParseNumber(argv[++i], 0, 600000, &v)) return Fail("bad think time");
            options.thinkMs = uint32_t(v);
        } else if (arg == "--seed") {
            if (!ParseNumber(argv[++i], 0, 0xFFFFFFFFL, &v)) return Fail("bad seed");
            options.seed = uint32_t(v);
        } else if (arg == "--silent-after") {
            if (!ParseNumber(argv[++i], 0, 0x7FFFFFFFL, &v)) return Fail("bad request count");
            options.silentAfter = v;
        } else if (arg == "--random-faults") {
            const std::string text = argv[++i];
            const size_t colon = text.find(':');
            if (!ParseNumber(text.substr(0, colon).c_str(), 0, 100, &v)) return Fail("bad random fault share (see --help)");
            options.randomFaultRate = double(v) / 100.0;
            if (colon != std::string::npos) {
                if (!ParseNumber(text.substr(colon + 1).c_str(), 1, 600000, &v)) return Fail("bad random fault delay");
                options.randomFaultMaxMs = uint32_t(v);
            }
        } else if (arg == "--fault") {
            if (!ParseFaultOption(argv[++i], &fault, &faultCount, &faultMs, &faultCode)) return Fail("bad fault (see --help)");
        } else {
            return UnknownWord(arg);
        }
    }
    if (!options.serial && options.tcpAddress.empty()) return Fail("nothing to listen on: --no-serial needs --tcp");

    // SIGINT and SIGTERM (Ctrl+C and the console's close on Windows) end the
    // run through a descriptor the main thread waits on.
    const int stopSignals = StopSignalDescriptor();
    if (stopSignals < 0) return Fail(std::string("stop signals: ") + std::strerror(errno), kExitFailure);

    sim::SimUnit unit(options);
    if (fault != sim::Fault::None) unit.SetFault(fault, faultCount, faultMs, faultCode);
    std::string error;
    if (!unit.Start(&error)) return Fail(error, kExitFailure);

    if (options.serial) {
        std::printf("pty: %s\n", unit.PtySlavePath().c_str());
        if (!options.ptyLinkPath.empty()) std::printf("link: %s\n", options.ptyLinkPath.c_str());
    }
    if (!options.tcpAddress.empty()) std::printf("tcp: %s:%u\n", unit.TcpAddress().c_str(), unsigned(unit.TcpPort()));
    std::printf("model %s, address %04d, mode %d\n", unit.IsK840() ? "K840" : "two-mode", unit.Address(), unit.Mode());
    std::fflush(stdout);
    // Ends with the process: it may be waiting on standard input then.
    if (commands) std::thread([&unit] { TakeCommands(unit); }).detach();

    int sig = 0;
    while (sig == 0) {
        Waitable w{SocketHandle(stopSignals)};
        if (WaitFor(&w, 1, -1) < 0) break;
        sig = TakeStopSignal(stopSignals);
    }
    unit.Stop();
    std::printf("stopped (%s)\n", sig == SIGINT ? "SIGINT" : "SIGTERM");
    // What the run amounted to, for scripts that run a unit for a long time.
    const sim::SimCounters n = unit.Counters();
    std::printf("counters: requests %llu, replies %llu, faults %llu (random %llu), bad frames %llu, "
                "ignored while restarting %llu, tcp connections %llu, restarts %llu\n",
                static_cast<unsigned long long>(n.framesTaken), static_cast<unsigned long long>(n.replies),
                static_cast<unsigned long long>(n.faultsApplied), static_cast<unsigned long long>(n.randomFaults),
                static_cast<unsigned long long>(n.badChecksum), static_cast<unsigned long long>(n.ignoredRestarting),
                static_cast<unsigned long long>(n.tcpConnections), static_cast<unsigned long long>(n.restarts));
    return 0;
}
