// Reading and replacing the program's files: only small regular files are
// read, and a replaced file keeps its mode, its symbolic links and its folder
// free of leftovers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <string>

#include "platform/program_folder.h"

namespace fs = std::filesystem;

namespace {

class Folder {
public:
    Folder() {
        char tmpl[] = "/tmp/tavrin-files-XXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "";
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) names.insert(e.path().filename().string());
        return names;
    }

private:
    std::string path_;
};

void Write(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Sets the umask for one scope.
class Umask {
public:
    explicit Umask(mode_t mask) : old_(umask(mask)) {}
    ~Umask() { umask(old_); }

private:
    mode_t old_;
};

// Reads on another thread so that a read that blocks fails the test instead of
// hanging it.
bool ReadEnds(const std::string& path, bool& readOk) {
    auto reading = std::async(std::launch::async, [path] {
        std::string bytes = "untouched";
        const bool ok = ReadWholeFile(path, bytes);
        return std::make_pair(ok, bytes);
    });
    if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Release a reader blocked on a FIFO so the test can end.
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        reading.wait();
        return false;
    }
    const auto result = reading.get();
    readOk = result.first;
    if (!readOk) {
        EXPECT_EQ(result.second, "untouched") << "a refused read changed the contents";
    }
    return true;
}

TEST(ReadWholeFile, TakesOnlySmallRegularFiles) {
    Folder folder;
    const std::string fifo = folder.File("pipe.cfg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = folder.File("big.cfg");
    Write(big, std::string(1024 * 1024, 'x'));
    const std::string limit = folder.File("limit.cfg");
    Write(limit, std::string(kMaxReadFileBytes, 'y'));
    const std::string over = folder.File("over.cfg");
    Write(over, std::string(kMaxReadFileBytes + 1, 'z'));
    const std::string zeroLink = folder.File("zero.ini");
    ASSERT_EQ(symlink("/dev/zero", zeroLink.c_str()), 0);
    const std::string fifoLink = folder.File("pipe-link.ini");
    ASSERT_EQ(symlink(fifo.c_str(), fifoLink.c_str()), 0);

    for (const std::string& refused : {std::string("/dev/zero"), fifo, folder.Path(), big, over, zeroLink,
                                       fifoLink, folder.File("missing.cfg")}) {
        bool ok = true;
        ASSERT_TRUE(ReadEnds(refused, ok)) << refused << " blocked the read";
        EXPECT_FALSE(ok) << refused;
    }
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(limit, bytes));
    EXPECT_EQ(bytes, std::string(kMaxReadFileBytes, 'y'));
}

TEST(ReplaceFile, NewFileGetsTheUmaskAndAReplacedOneKeepsItsMode) {
    for (const mode_t mask : {mode_t(077), mode_t(022)}) {
        Folder folder;
        Umask scope(mask);
        const std::string fresh = folder.File("fresh.cfg");
        ASSERT_TRUE(ReplaceFileAtomically(fresh, "new"));
        EXPECT_EQ(ModeOf(fresh), 0666 & ~mask) << "umask " << std::oct << mask;

        for (const mode_t kept : {mode_t(0600), mode_t(0640), mode_t(0664), mode_t(0444)}) {
            const std::string path = folder.File("kept.cfg");
            Write(path, "old", kept);
            ASSERT_TRUE(ReplaceFileAtomically(path, "replaced"));
            EXPECT_EQ(Contents(path), "replaced");
            EXPECT_EQ(ModeOf(path), kept) << "umask " << std::oct << mask << " mode " << kept;
        }
        EXPECT_EQ(folder.Names(), (std::set<std::string>{"fresh.cfg", "kept.cfg"}));
    }
}

TEST(ReplaceFile, SymbolicLinksAreFollowedAndStayLinks) {
    Folder folder;
    Umask scope(022);
    ASSERT_EQ(mkdir(folder.File("real").c_str(), 0700), 0);
    const std::string real = folder.File("real/unit.cfg");
    Write(real, "old", 0600);
    // A relative link, and a link to that link.
    const std::string link = folder.File("unit.cfg");
    ASSERT_EQ(symlink("real/unit.cfg", link.c_str()), 0);
    const std::string chain = folder.File("chain.cfg");
    ASSERT_EQ(symlink(link.c_str(), chain.c_str()), 0);

    ASSERT_TRUE(ReplaceFileAtomically(link, "through the link"));
    EXPECT_TRUE(IsLink(link));
    EXPECT_EQ(Contents(real), "through the link");
    EXPECT_EQ(ModeOf(real), mode_t(0600));

    ASSERT_TRUE(ReplaceFileAtomically(chain, "through the chain"));
    EXPECT_TRUE(IsLink(chain));
    EXPECT_TRUE(IsLink(link));
    EXPECT_EQ(Contents(real), "through the chain");
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"real", "unit.cfg", "chain.cfg"}));
    std::set<std::string> inReal;
    for (const auto& e : fs::directory_iterator(folder.File("real"))) inReal.insert(e.path().filename().string());
    EXPECT_EQ(inReal, (std::set<std::string>{"unit.cfg"}));

    // A link whose file does not exist yet: the file is made where it points.
    const std::string dangling = folder.File("later.cfg");
    ASSERT_EQ(symlink("real/later.cfg", dangling.c_str()), 0);
    ASSERT_TRUE(ReplaceFileAtomically(dangling, "made"));
    EXPECT_TRUE(IsLink(dangling));
    EXPECT_EQ(Contents(folder.File("real/later.cfg")), "made");
    EXPECT_EQ(ModeOf(folder.File("real/later.cfg")), mode_t(0644));

    // A link loop is refused and nothing is made.
    const std::string loopA = folder.File("a.cfg"), loopB = folder.File("b.cfg");
    ASSERT_EQ(symlink(loopB.c_str(), loopA.c_str()), 0);
    ASSERT_EQ(symlink(loopA.c_str(), loopB.c_str()), 0);
    EXPECT_FALSE(ReplaceFileAtomically(loopA, "loop"));
    EXPECT_TRUE(IsLink(loopA));
    EXPECT_TRUE(IsLink(loopB));
}

TEST(ReplaceFile, SomethingThatIsNotAFileIsNeverReplaced) {
    Folder folder;
    const std::string sub = folder.File("sub.cfg");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    EXPECT_FALSE(ReplaceFileAtomically(sub, "x"));
    EXPECT_TRUE(fs::is_directory(sub));
    const std::string fifo = folder.File("pipe.cfg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReplaceFileAtomically(fifo, "x"));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"sub.cfg", "pipe.cfg"}));
}

TEST(ReplaceFile, TemporaryFilesAreHiddenAndStaleOnesGoAtTheNextSave) {
    Folder folder;
    const std::string target = folder.File("unit.cfg");
    Write(target, "old");
    // What saves killed half way left behind, one still held by a running save,
    // one of another file, and files that only look alike.
    const std::string staleA = folder.File(".unit.cfg.partial-Ab12Cd");
    const std::string staleB = folder.File(".unit.cfg.partial-zzzzzz");
    const std::string held = folder.File(".unit.cfg.partial-HELD00");
    const std::string other = folder.File(".other.cfg.partial-Ab12Cd");
    const std::string lookAlike = folder.File(".unit.cfg.partial-keep-me");
    const std::string operatorFile = folder.File("unit.cfg.partial-Ab12Cd");
    for (const std::string& p : {staleA, staleB, held, other, lookAlike, operatorFile}) Write(p, "image");
    const int holder = open(held.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);

    ASSERT_TRUE(ReplaceFileAtomically(target, "new"));
    EXPECT_EQ(Contents(target), "new");
    close(holder);
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"unit.cfg", ".unit.cfg.partial-HELD00",
                                                     ".other.cfg.partial-Ab12Cd", ".unit.cfg.partial-keep-me",
                                                     "unit.cfg.partial-Ab12Cd"}));

    // The writability probe uses the same naming and leaves nothing either.
    EXPECT_TRUE(CanCreateFileBeside(folder.File("next.cfg")));
    EXPECT_FALSE(CanCreateFileBeside(folder.File("no-such-folder/next.cfg")));
    EXPECT_EQ(folder.Names().size(), 5u);
}

}  // namespace
