// tavrinctl's exit statuses, one row a case: the command line, what the unit
// or the file does, where standard output goes, the status and how standard
// error begins. Every error line names what it is about and carries no raw
// control byte.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pages/config_file.h"
#include "tool_harness.h"

using namespace tooltest;

namespace {

constexpr int kSuccess = 0, kFailure = 1, kUsage = 2, kRefused = 3;

enum class Setup {
    None,
    SilentAfterTwo,   // the unit answers the probe and one request, then no more
    EscapeCodeFile,   // @file: a configuration file with an item coded ESC "[2J"
};

enum class Output { Captured, DevFull, PipeReaderGone };

struct Row {
    const char* name;
    std::vector<std::string> args;   // "@unit": the unit over TCP; "@file", "@tty": paths
    Setup setup;
    Output output;
    int status;
    std::string errStart;   // "@file" and "@tty" stand for the row's paths
    std::string errHas;     // also somewhere on standard error, or ""
};

const char* const kFull = "tavrinctl: standard output: No space left on device\n";

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"read", {"@unit", "read", "1loc"}, Setup::None, Output::Captured, kSuccess, "", ""},
        {"send refused", {"@unit", "send", "0001", "rzzzz;;"}, Setup::None, Output::Captured, kSuccess, "", ""},
        {"write unknown code", {"@unit", "write", "zzzz", "1"}, Setup::None, Output::Captured, kRefused,
         "tavrinctl: zzzz: refused by the unit\n", ""},
        {"write bad value", {"@unit", "write", "1ipf", "abc"}, Setup::None, Output::Captured, kRefused,
         "tavrinctl: 1ipf: refused by the unit\n", ""},
        {"read unknown code", {"@unit", "read", "1xyz"}, Setup::None, Output::Captured, kRefused,
         "tavrinctl: 1xyz: refused by the unit\n", ""},
        {"refusal then no reply", {"@unit", "read", "1xyz", "1loc"}, Setup::SilentAfterTwo, Output::Captured,
         kFailure, "tavrinctl: 1xyz: refused by the unit\ntavrinctl: 1loc: ", ""},
        {"bad code", {"@unit", "read", "1lo"}, Setup::None, Output::Captured, kUsage,
         "tavrinctl: '1lo' is not a four-character parameter code\n", ""},
        {"status on a full disk", {"@unit", "status"}, Setup::None, Output::DevFull, kFailure, kFull, ""},
        {"dump on a full disk", {"@unit", "dump"}, Setup::None, Output::DevFull, kFailure, kFull, ""},
        {"watch on a full disk", {"@unit", "watch", "--count", "1"}, Setup::None, Output::DevFull, kFailure,
         kFull, ""},
        {"help on a full disk", {"--help"}, Setup::None, Output::DevFull, kFailure, kFull, ""},
        {"watch into a closed pipe", {"@unit", "watch", "--interval", "100"}, Setup::None, Output::PipeReaderGone,
         kFailure, "tavrinctl: standard output: Broken pipe\n", ""},
        {"inspect escapes codes", {"inspect", "@file"}, Setup::EscapeCodeFile, Output::Captured, kFailure,
         "tavrinctl: @file: Invalid item in file: record 1, item ", "(\\x1b[2J): "},
        {"load refuses the file", {"@unit", "load-config", "@file"}, Setup::EscapeCodeFile, Output::Captured,
         kFailure, "tavrinctl: @file: Invalid item in file\n", ""},
        {"load a missing file", {"@unit", "load-config", "@file"}, Setup::None, Output::Captured, kFailure,
         "tavrinctl: @file: Unable to open file for reading: No such file or directory\n", ""},
        {"save into a missing folder", {"@unit", "save-config", "@file/unit.cfg"}, Setup::None, Output::Captured,
         kFailure, "tavrinctl: @file/unit.cfg: Unable to open file for writing: No such file or directory\n",
         ""},
        {"missing serial device", {"--serial", "@tty", "probe"}, Setup::None, Output::Captured, kFailure,
         "tavrinctl: @tty: Unable to open serial port: No such file or directory\n", ""},
    };
    return rows;
}

std::string Replaced(std::string text, const std::string& mark, const std::string& by) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + by.size()))
        text.replace(at, mark.size(), by);
    return text;
}

// A valid file for a two-mode unit with one more item in its first record,
// coded ESC "[2J", and its checksum made right again.
std::string FileWithEscapeCode() {
    std::string image;
    BeginConfigFile(image, 2);
    AppendConfigRecord(image, 1, 0);
    AppendConfigRecord(image, 1, 1);
    FinishConfigFile(image);
    const size_t end = image.find("----");
    std::string body = image.substr(0, end) + "\x1b[2J" + std::string("\x00\x04\x00\x00\x00", 5) + "0077" +
                       image.substr(end, image.size() - 4 - end);
    const uint32_t crc = ConfigFileCrc(body);
    for (int i = 0; i < 4; ++i) body.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
    return body;
}

// watch with standard output on a FIFO whose reader goes away after the first
// line, SIGPIPE ignored as a shell may leave it.
RunResult RunIntoVanishingReader(const std::vector<std::string>& args, const TempFolder& folder) {
    const std::string fifo = folder.File("out.fifo");
    if (mkfifo(fifo.c_str(), 0600) != 0) return {};
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);   // the tool holds no reader
    struct sigaction ignore {}, before {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &before);
    ToolProcess tool(args, {}, nullptr, fifo);
    sigaction(SIGPIPE, &before, nullptr);
    pollfd wait{reader, POLLIN, 0};
    EXPECT_EQ(poll(&wait, 1, 10000), 1) << "no line came";
    close(reader);
    return tool.Wait();
}

bool HasRawControl(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\n') || (c >= 0x7F && c <= 0x9F)) return true;
    return false;
}

TEST(ToolExitStatus, EveryRowEndsWithItsStatusAndItsErrorLine) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        // "@file" is the row's file, or one that does not exist.
        const std::string file = folder.File(row.setup == Setup::EscapeCodeFile ? "unit.cfg" : "none");
        if (row.setup == Setup::EscapeCodeFile) WriteFile(file, FileWithEscapeCode());
        const auto expand = [&](const std::string& text) {
            return Replaced(Replaced(text, "@file", file), "@tty", folder.File("ttyX"));
        };
        sim.Unit().ClearFault();
        sim.Unit().SetSilentAfter(row.setup == Setup::SilentAfterTwo ? 2 : -1);

        std::vector<std::string> args;
        for (const std::string& a : row.args) {
            if (a == "@unit")
                args.insert(args.end(), {"--ip", sim.Ip()});
            else
                args.push_back(expand(a));
        }
        RunResult r;
        switch (row.output) {
        case Output::Captured: r = RunTool(args, kFastWaits); break;
        case Output::DevFull: r = RunToolInto(args, "/dev/full", kFastWaits); break;
        case Output::PipeReaderGone: r = RunIntoVanishingReader(args, folder); break;
        }

        const std::string errStart = expand(row.errStart);
        EXPECT_EQ(r.exitCode, row.status) << r.err;
        if (errStart.empty())
            EXPECT_EQ(r.err, "");
        else
            EXPECT_EQ(r.err.substr(0, errStart.size()), errStart);
        EXPECT_NE(r.err.find(row.errHas), std::string::npos) << r.err;
        EXPECT_FALSE(HasRawControl(r.err)) << r.err;
    }
}

// The rows above try every status there is: those the help lists, and the
// manual page lists the same.
TEST(ToolExitStatus, HelpAndManualPageListEveryStatus) {
    std::set<int> tried, helped, paged;
    for (const Row& row : Rows()) tried.insert(row.status);
    const std::string help = RunTool({"--help"}).out;
    std::istringstream lines(help.substr(help.find("\nExit status:\n") + 1));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        if (line.size() > 3 && line.compare(0, 2, "  ") == 0 && std::isdigit(static_cast<unsigned char>(line[2])))
            helped.insert(line[2] - '0');
    const std::string page = ReadFile(TAVRIN_MANUAL_PAGE);
    const size_t section = page.find("# EXIT STATUS\n");
    ASSERT_NE(section, std::string::npos);
    const std::string exits = page.substr(section, page.find("\n# ", section + 1) - section);
    for (int status = 0; status < 10; ++status)
        if (exits.find("\n*" + std::to_string(status) + "*\n") != std::string::npos) paged.insert(status);
    EXPECT_EQ(tried, helped);
    EXPECT_EQ(tried, paged);
}

}  // namespace
