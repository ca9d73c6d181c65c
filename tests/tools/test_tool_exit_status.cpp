// tavrinctl's exit statuses, one row a case: the command line, what the unit,
// the file or standard output does, the status and how standard error begins.
// No error line carries a raw control byte.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "pages/config_file.h"
#include "params/unit_state.h"
#include "tool_harness.h"

using namespace tooltest;

namespace {

constexpr int kSuccess = 0, kFailure = 1, kUsage = 2, kRefused = 3;

// What a row does beyond its command line.
enum class Setup {
    None,
    SilentAfterTwo,   // the unit answers the probe and one request, then no more
    EscapeCodeFile,   // @file: a configuration file with an item coded ESC "[2J"
    DevFull,          // standard output on /dev/full
    PipeReaderGone,   // standard output on a pipe whose reader goes, SIGPIPE ignored
};

struct Row {
    std::vector<std::string> args;   // "@unit": the unit over TCP; "@file", "@tty": the row's paths
    Setup setup;
    int status;
    std::string errStart;   // with "@file" and "@tty" as in the arguments
    std::string errHas = "";
};

const char* const kFull = "tavrinctl: standard output: No space left on device\n";
const char* const kItem = "tavrinctl: @file: Invalid item in file";

const std::vector<Row> kRows = {
    {{"@unit", "read", "1loc"}, Setup::None, kSuccess, ""},
    {{"@unit", "send", "0001", "rzzzz;;"}, Setup::None, kSuccess, ""},   // a raw 'E' is shown, not judged
    {{"@unit", "write", "zzzz", "1"}, Setup::None, kRefused, "tavrinctl: zzzz: refused by the unit\n"},
    {{"@unit", "write", "1ipf", "abc"}, Setup::None, kRefused, "tavrinctl: 1ipf: refused by the unit\n"},
    {{"@unit", "read", "1xyz"}, Setup::None, kRefused, "tavrinctl: 1xyz: refused by the unit\n"},
    {{"@unit", "read", "1xyz", "1loc"}, Setup::SilentAfterTwo, kFailure,
     "tavrinctl: 1xyz: refused by the unit\ntavrinctl: 1loc: "},
    {{"@unit", "read", "1lo"}, Setup::None, kUsage, "tavrinctl: '1lo' is not a four-character parameter code\n"},
    {{"@unit", "status"}, Setup::DevFull, kFailure, kFull},
    {{"@unit", "dump"}, Setup::DevFull, kFailure, kFull},
    {{"@unit", "watch", "--count", "1"}, Setup::DevFull, kFailure, kFull},
    {{"--help"}, Setup::DevFull, kFailure, kFull},
    {{"@unit", "watch", "--interval", "100"}, Setup::PipeReaderGone, kFailure,
     "tavrinctl: standard output: Broken pipe\n"},
    {{"inspect", "@file"}, Setup::EscapeCodeFile, kFailure, std::string(kItem) + ": record 1, item ", "(\\x1b[2J): "},
    {{"@unit", "load-config", "@file"}, Setup::EscapeCodeFile, kFailure, std::string(kItem) + "\n"},
    {{"@unit", "load-config", "@file"}, Setup::None, kFailure,
     "tavrinctl: @file: Unable to open file for reading: No such file or directory\n"},
    {{"@unit", "save-config", "@file/unit.cfg"}, Setup::None, kFailure,
     "tavrinctl: @file/unit.cfg: Unable to open file for writing: No such file or directory\n"},
    {{"--serial", "@tty", "probe"}, Setup::None, kFailure,
     "tavrinctl: @tty: Unable to open serial port: No such file or directory\n"},
};

std::string Replaced(std::string text, const std::string& mark, const std::string& by) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + by.size()))
        text.replace(at, mark.size(), by);
    return text;
}

// A valid file for a two-mode unit with one more item in its first record,
// coded ESC "[2J", and its checksum made right again.
std::string FileWithEscapeCode() {
    const UnitState unit;   // no values: the records hold the mode alone
    std::string image;
    BeginConfigFile(image, 2);
    AppendConfigRecord(unit, image, 1, 0);
    AppendConfigRecord(unit, image, 1, 1);
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
    for (const Row& row : kRows) {
        TempFolder folder;
        // "@file" is the row's file, or one that does not exist.
        const std::string file = folder.File(row.setup == Setup::EscapeCodeFile ? "unit.cfg" : "none");
        if (row.setup == Setup::EscapeCodeFile) WriteFile(file, FileWithEscapeCode());
        const auto expand = [&](const std::string& text) {
            return Replaced(Replaced(text, "@file", file), "@tty", folder.File("ttyX"));
        };
        std::vector<std::string> args;
        for (const std::string& a : row.args) {
            if (a == "@unit")
                args.insert(args.end(), {"--ip", sim.Ip()});
            else
                args.push_back(expand(a));
        }
        SCOPED_TRACE(args.back());
        sim.Unit().SetSilentAfter(row.setup == Setup::SilentAfterTwo ? 2 : -1);
        const RunResult r = row.setup == Setup::DevFull          ? RunToolInto(args, "/dev/full", kFastWaits)
                            : row.setup == Setup::PipeReaderGone ? RunIntoVanishingReader(args, folder)
                                                                 : RunTool(args, kFastWaits);
        EXPECT_EQ(r.exitCode, row.status) << r.err;
        // Standard error begins with the row's lines; on success it is empty.
        EXPECT_EQ(row.errStart.empty() ? r.err : r.err.substr(0, expand(row.errStart).size()), expand(row.errStart));
        EXPECT_NE(r.err.find(row.errHas), std::string::npos) << r.err;
        EXPECT_FALSE(HasRawControl(r.err)) << r.err;
    }
}

// The rows above try every status there is: those the help and the manual
// page list.
TEST(ToolExitStatus, HelpAndManualPageListTheStatusesTheRowsTry) {
    std::set<int> tried, helped, paged;
    for (const Row& row : kRows) tried.insert(row.status);
    const std::string help = RunTool({"--help"}).out;
    const std::string page = ReadFile(TAVRIN_MANUAL_PAGE);
    const size_t section = page.find("# EXIT STATUS\n");
    ASSERT_NE(section, std::string::npos);
    const std::string exits = page.substr(section, page.find("\n# ", section + 1) - section);
    for (int status = 0; status < 10; ++status) {
        const std::string n = std::to_string(status);
        if (help.find("\n  " + n + "   ") != std::string::npos) helped.insert(status);
        if (exits.find("\n*" + n + "*\n") != std::string::npos) paged.insert(status);
    }
    EXPECT_EQ(tried, helped);
    EXPECT_EQ(tried, paged);
}

}  // namespace
