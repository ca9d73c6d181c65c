// Where the program keeps its files: everything in a portable program folder;
// the user's configuration and state folders for an installed copy (a marked
// tree, or a program folder the user cannot write), never the tree itself.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "platform/version.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"
#include "platform/user_folders.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using testsupport::ModeOf;
using testsupport::TreeOf;
using testsupport::ScopedEnv;
using testsupport::TempFolder;

namespace {

constexpr uid_t kNobody = 65534;

// An installed tree: TREE/bin (the program folder) and the install step's mark.
struct InstalledTree {
    TempFolder root{"tavrin-installed"};
    std::string bin = root.File("tree/bin");
    std::string home = root.File("home");
    InstalledTree() {
        fs::create_directories(bin);
        fs::create_directories(home);
        const std::string mark = bin + "/" + InstalledMarkFromProgramFolder();
        fs::create_directories(fs::path(mark).parent_path());
        std::ofstream(mark) << "";
    }
};

// Restores the program folder the other tests of this program expect.
struct FolderReset {
    ~FolderReset() { SetProgramFolder(ExecutableFolder()); }
};

// Runs `body` in a child process as the unprivileged user "nobody" (when this
// test runs as root) or as ourselves; returns the problems it reported.
std::string InChild(bool dropToNobody, const std::function<std::string()>& body) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        std::string problems;
        if (dropToNobody && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            problems = "cannot become nobody";
        if (problems.empty()) problems = body();
        if (write(pipeFds[1], problems.data(), problems.size()) < 0) _exit(2);
        _exit(0);
    }
    close(pipeFds[1]);
    std::string got;
    char buffer[512];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) got.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) got += " (child failed)";
    return got;
}

std::string Expect(const std::string& what, const std::string& got, const std::string& wanted) {
    return got == wanted ? std::string() : what + ": got '" + got + "', wanted '" + wanted + "'; ";
}

}  // namespace

TEST(UserFolders, APortableFolderKeepsEveryFileInIt) {
    FolderReset reset;
    TempFolder folder;
    ScopedEnv env;
    env.Set("XDG_CONFIG_HOME", folder.File("elsewhere")).Set("XDG_STATE_HOME", folder.File("elsewhere"));
    SetProgramFolder(folder.Path());
    EXPECT_FALSE(RunsInstalled());
    EXPECT_EQ(SettingsFolder(), folder.Path());
    EXPECT_EQ(StateFolder(), folder.Path());
    EXPECT_EQ(PortsFolder(), folder.Path() + "/ports");
    EXPECT_EQ(EventLogFilePath(), folder.Path() + "/tavrin_rx_ctrl_events.log");
    EXPECT_EQ(EnsureSettingsFolder(), folder.Path());
    EXPECT_EQ(EnsureStateFolder(), folder.Path());
    fs::create_directories(folder.File("ports"));
    ASSERT_EQ(symlink("/dev/null", folder.File("ports/COM7").c_str()), 0);
    EXPECT_EQ(ComPortDevicePath(6), folder.Path() + "/ports/COM7");
    EXPECT_EQ(ComPortDevicePath(0), "/dev/ttyS0");
    // Nothing was made for the user's folders.
    EXPECT_FALSE(fs::exists(folder.File("elsewhere")));
}

TEST(UserFolders, AMarkedTreeKeepsFilesInTheUsersFoldersAndLooksUpPortsThere) {
    FolderReset reset;
    InstalledTree tree;
    ScopedEnv env;
    const std::string config = tree.root.File("cfg"), state = tree.root.File("st");
    env.Set("HOME", tree.home).Set("XDG_CONFIG_HOME", config).Set("XDG_STATE_HOME", state);
    SetProgramFolder(tree.bin);
    const std::set<std::string> before = TreeOf(tree.root.File("tree"));

    EXPECT_TRUE(RunsInstalled());
    EXPECT_EQ(SettingsFolder(), config + "/tavrin_rx_ctrl");
    EXPECT_EQ(StateFolder(), state + "/tavrin_rx_ctrl");
    EXPECT_EQ(PortsFolder(), config + "/tavrin_rx_ctrl/ports");
    EXPECT_EQ(EventLogFilePath(), state + "/tavrin_rx_ctrl/tavrin_rx_ctrl_events.log");

    // COMn links are looked up in the configuration folder, not in the tree.
    fs::create_directories(tree.bin + "/ports");
    ASSERT_EQ(symlink("/dev/null", (tree.bin + "/ports/COM3").c_str()), 0);
    EXPECT_EQ(ComPortDevicePath(2), "/dev/ttyS2");
    fs::create_directories(config + "/tavrin_rx_ctrl/ports");
    ASSERT_EQ(symlink("/dev/null", (config + "/tavrin_rx_ctrl/ports/COM3").c_str()), 0);
    EXPECT_EQ(ComPortDevicePath(2), config + "/tavrin_rx_ctrl/ports/COM3");
    fs::remove(tree.bin + "/ports/COM3");
    fs::remove(tree.bin + "/ports");

    // The state folder is made on demand, private, with its missing parents.
    EXPECT_FALSE(fs::exists(state));
    EXPECT_EQ(EnsureStateFolder(), state + "/tavrin_rx_ctrl");
    EXPECT_EQ(ModeOf(state), 0700u);
    EXPECT_EQ(ModeOf(state + "/tavrin_rx_ctrl"), 0700u);
    EXPECT_EQ(EnsureSettingsFolder(), config + "/tavrin_rx_ctrl");
    // An existing folder keeps its mode.
    EXPECT_EQ(ModeOf(config + "/tavrin_rx_ctrl"), ModeOf(config));
    EXPECT_EQ(TreeOf(tree.root.File("tree")), before);
}

TEST(UserFolders, UnsetEmptyOrRelativeXdgVariablesFallBackToTheHomeDefaults) {
    FolderReset reset;
    InstalledTree tree;
    ScopedEnv env;
    env.Set("HOME", tree.home);
    SetProgramFolder(tree.bin);
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>("rel/dir")}) {
        ScopedEnv xdg;
        xdg.Set("XDG_CONFIG_HOME", value).Set("XDG_STATE_HOME", value);
        EXPECT_EQ(SettingsFolder(), tree.home + "/.config/tavrin_rx_ctrl") << value.value_or("(unset)");
        EXPECT_EQ(StateFolder(), tree.home + "/.local/state/tavrin_rx_ctrl") << value.value_or("(unset)");
    }
    // Without a usable HOME the password entry's home folder is taken.
    ScopedEnv noHome;
    noHome.Set("HOME", "relative").Set("XDG_CONFIG_HOME", std::nullopt);
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(HomeFolder(), entry->pw_dir);
    EXPECT_EQ(SettingsFolder(), std::string(entry->pw_dir) + "/.config/tavrin_rx_ctrl");
}

TEST(UserFolders, AFolderThatCannotBeMadeGivesNoFolderRatherThanTheTree) {
    FolderReset reset;
    InstalledTree tree;
    ScopedEnv env;
    // A file stands where the state folder should be.
    const std::string blocked = tree.root.File("state-file");
    std::ofstream(blocked) << "x";
    env.Set("HOME", tree.home).Set("XDG_STATE_HOME", blocked);
    SetProgramFolder(tree.bin);
    EXPECT_EQ(EnsureStateFolder(), "");
    EXPECT_FALSE(MakePrivateFolder(""));
    EXPECT_FALSE(MakePrivateFolder(blocked));
}

TEST(UserFolders, AnExplicitModeOverridesWhatTheFolderSays) {
    FolderReset reset;
    InstalledTree tree;
    TempFolder plain;
    ScopedEnv env;
    env.Set("HOME", tree.home).Set("XDG_CONFIG_HOME", std::nullopt).Set("XDG_STATE_HOME", std::nullopt);
    SetProgramFolder(tree.bin, FolderMode::Portable);
    EXPECT_FALSE(RunsInstalled());
    EXPECT_EQ(PortsFolder(), tree.bin + "/ports");
    SetProgramFolder(plain.Path(), FolderMode::Installed);
    EXPECT_TRUE(RunsInstalled());
    EXPECT_EQ(PortsFolder(), tree.home + "/.config/tavrin_rx_ctrl/ports");
    SetProgramFolder(plain.Path());
    EXPECT_FALSE(RunsInstalled());
}

// A program folder the user cannot write counts as installed. Root may write
// into any folder of a writable file system (a 0555 folder included), so for
// root such a folder stays portable; the unprivileged user's view is checked
// in a child process that gives up root.
TEST(UserFolders, AReadOnlyProgramFolderCountsAsInstalledForWhoCannotWriteIt) {
    FolderReset reset;
    TempFolder root("tavrin-readonly");
    const std::string bin = root.File("bin"), home = root.File("home");
    fs::create_directories(bin);
    fs::create_directories(home);
    ASSERT_EQ(chmod(root.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(bin.c_str(), 0555), 0);
    const bool asRoot = geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(chown(home.c_str(), kNobody, kNobody), 0);
        SetProgramFolder(bin);
        EXPECT_FALSE(RunsInstalled()) << "root can write a 0555 folder";
    }
    ScopedEnv env;
    env.Set("HOME", home).Set("XDG_CONFIG_HOME", std::nullopt).Set("XDG_STATE_HOME", std::nullopt);
    const std::string problems = InChild(asRoot, [&] {
        SetProgramFolder(bin);
        std::string p;
        if (!RunsInstalled()) p += "not installed; ";
        p += Expect("settings", EnsureSettingsFolder(), home + "/.config/tavrin_rx_ctrl");
        p += Expect("state", EnsureStateFolder(), home + "/.local/state/tavrin_rx_ctrl");
        p += Expect("ports", PortsFolder(), home + "/.config/tavrin_rx_ctrl/ports");
        if (ModeOf(home + "/.local/state") != 0700) p += "state parent not 0700; ";
        return p;
    });
    EXPECT_EQ(problems, "");
    EXPECT_TRUE(fs::is_directory(home + "/.local/state/tavrin_rx_ctrl"));
    EXPECT_TRUE(fs::is_empty(bin));
    chmod(bin.c_str(), 0755);
}
