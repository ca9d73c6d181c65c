#include "tool_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/spawn.h"

namespace tooltest {

std::string ToolPath() {
    const char* dir = std::getenv("TAVRIN_BIN_DIR");
    return std::string(dir ? dir : ".") + "/tavrinctl";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

ToolProcess::ToolProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                         const std::string* input, const std::string& outPath, size_t fileSizeLimit) {
    ownOut_ = outPath.empty();
    outPath_ = ownOut_ ? io_.File("out") : outPath;
    errPath_ = io_.File("err");
    const std::string inPath = io_.File("in");
    if (input) WriteFile(inPath, *input);

    int rc = 0;
    std::string program = ToolPath();
    std::vector<std::string> argv = args;
    if (fileSizeLimit > 0) {
        // An ignored signal stays ignored in the child, through prlimit and exec.
        ::signal(SIGXFSZ, SIG_IGN);
        argv = Concat({"--fsize=" + std::to_string(fileSizeLimit), "--", program}, args);
        program = "/usr/bin/prlimit";
    }
    pid_ = testsupport::SpawnProgram(program, argv, input ? inPath : "/dev/null", outPath_, errPath_, env, &rc);
    if (rc != 0) {
        pid_ = -1;
        startError_ = std::string("cannot start ") + program + ": " + std::strerror(rc);
    }
}

ToolProcess::~ToolProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    Wait();
}

void ToolProcess::Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
}

std::string ToolProcess::OutSoFar() const { return ownOut_ ? ReadFile(outPath_) : std::string(); }

RunResult ToolProcess::Wait() {
    RunResult result;
    if (pid_ <= 0) {
        result.err = startError_;
        return result;
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = OutSoFar();
    result.err = ReadFile(errPath_);
    return result;
}

namespace {

RunResult Run(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string* input) {
    return ToolProcess(args, env, input).Wait();
}

}  // namespace

RunResult RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    return Run(args, env, nullptr);
}

RunResult RunToolWithInput(const std::vector<std::string>& args, const std::string& input) {
    return Run(args, {}, &input);
}

RunResult RunToolInto(const std::vector<std::string>& args, const std::string& outPath,
                      const std::vector<std::string>& env) {
    return ToolProcess(args, env, nullptr, outPath).Wait();
}

RunResult RunToolOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    RunResult result;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        result.err = "no pseudo-terminal";
        if (master >= 0) ::close(master);
        return result;
    }
    const std::string slavePath = ::ptsname(master);
    // Held open here too, so that the terminal stays until everything is read.
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    TempFolder io;
    const pid_t pid = testsupport::SpawnProgram(ToolPath(), args, "/dev/null", io.File("out"), slavePath, env);
    int status = 0;
    for (bool running = pid > 0; running;) {
        running = ::waitpid(pid, &status, WNOHANG) == 0;
        pollfd p{master, POLLIN, 0};
        // Whatever came meanwhile, and after the end whatever is left.
        while (::poll(&p, 1, running ? 50 : 0) > 0 && (p.revents & POLLIN)) {
            char buffer[512];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            result.err.append(buffer, size_t(n));
        }
    }
    result.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(io.File("out"));
    if (slave >= 0) ::close(slave);
    ::close(master);
    return result;
}

SimulatedUnit::SimulatedUnit(bool k840, int address, bool oracle) {
    const std::string ports = folder_.File("ports");
    ::mkdir(ports.c_str(), 0700);
    sim::SimOptions options;
    options.ptyLinkPath = ports + "/COM1";
    options.tcpAddress = RandomLoopbackAddress();
    options.k840 = k840;
    options.address = address;
    options.restartMs = 50;
    options.drift = false;
    options.oracle = oracle;
    unit_ = std::make_unique<sim::SimUnit>(options);
    started_ = unit_->Start(&error_);
}

SimulatedUnit::~SimulatedUnit() { unit_->Stop(); }

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---- tiny JSON --------------------------------------------------------------
namespace {

struct Reader {
    const std::string& s;
    size_t i = 0;

    void Blanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
    }
    bool Literal(const char* word) {
        const size_t n = std::strlen(word);
        if (s.compare(i, n, word) != 0) return false;
        i += n;
        return true;
    }
    bool String(std::string& out) {
        if (i >= s.size() || s[i] != '"') return false;
        ++i;
        while (i < s.size() && s[i] != '"') {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++i >= s.size()) return false;
                switch (s[i]) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    if (i + 4 >= s.size()) return false;
                    const std::string hex = s.substr(i + 1, 4);
                    for (char h : hex)
                        if (!std::isxdigit(static_cast<unsigned char>(h))) return false;
                    out += char(std::stoi(hex, nullptr, 16) & 0xFF);
                    i += 4;
                    break;
                }
                default: return false;
                }
                ++i;
            } else {
                out += char(c);
                ++i;
            }
        }
        if (i >= s.size()) return false;
        ++i;
        return true;
    }
    bool Value(Json& v) {
        Blanks();
        if (i >= s.size()) return false;
        const char c = s[i];
        if (c == '{') {
            v.type = Json::Object;
            ++i;
            Blanks();
            if (i < s.size() && s[i] == '}') return ++i, true;
            for (;;) {
                Blanks();
                std::string key;
                if (!String(key)) return false;
                Blanks();
                if (i >= s.size() || s[i] != ':') return false;
                ++i;
                Json member;
                if (!Value(member)) return false;
                v.members[key] = member;
                Blanks();
                if (i < s.size() && s[i] == ',') { ++i; continue; }
                if (i < s.size() && s[i] == '}') return ++i, true;
                return false;
            }
        }
        if (c == '[') {
            v.type = Json::Array;
            ++i;
            Blanks();
            if (i < s.size() && s[i] == ']') return ++i, true;
            for (;;) {
                Json item;
                if (!Value(item)) return false;
                v.items.push_back(item);
                Blanks();
                if (i < s.size() && s[i] == ',') { ++i; continue; }
                if (i < s.size() && s[i] == ']') return ++i, true;
                return false;
            }
        }
        if (c == '"') {
            v.type = Json::String;
            return String(v.text);
        }
        if (Literal("true")) { v.type = Json::Bool; v.boolean = true; return true; }
        if (Literal("false")) { v.type = Json::Bool; return true; }
        if (Literal("null")) { v.type = Json::Null; return true; }
        const size_t start = i;
        if (i < s.size() && s[i] == '-') ++i;
        while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.' || s[i] == 'e' ||
                                s[i] == 'E' || s[i] == '+' || s[i] == '-'))
            ++i;
        if (i == start) return false;
        v.type = Json::Number;
        v.number = std::strtod(s.substr(start, i - start).c_str(), nullptr);
        return true;
    }
};

const Json& NullJson() {
    static const Json null;
    return null;
}

}  // namespace

const Json& Json::operator[](const std::string& key) const {
    auto it = members.find(key);
    return it == members.end() ? NullJson() : it->second;
}

const Json& Json::operator[](size_t index) const { return index < items.size() ? items[index] : NullJson(); }

bool ParseJson(const std::string& text, Json& out) {
    Reader r{text};
    out = Json{};
    if (!r.Value(out)) return false;
    r.Blanks();
    return r.i == text.size();
}

}  // namespace tooltest
