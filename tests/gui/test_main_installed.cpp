// The desktop program run from an installed tree: settings from and to the
// user's configuration folder, the transaction log in the state folder, COM
// port links from the configuration folder's ports/, and nothing written into
// the tree. The About box says where the files are, installed or portable.
#include "gui/test_main_support.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fstream>
#include <set>

#include "app/ui/CAboutDlg.h"
#include "platform/version.h"
#include "platform/user_folders.h"
#include "support/scoped_env.h"
#include "support/spawn.h"
#include "support/wait.h"

using namespace guitest;
namespace fs = std::filesystem;
using testsupport::ModeOf;
using testsupport::TreeOf;

TEST(MainInstalled, SettingsLogAndPortsLiveInTheUsersFoldersNeverInTheTree) {
    RigOptions options;
    options.startUnit = false;
    options.settings = nullptr;
    options.hideMachinePorts = false;
    Rig rig(options);

    testsupport::TempFolder root("tavrin-installed-gui");
    const std::string bin = root.File("usr/bin"), home = root.File("home");
    const std::string mark = bin + "/" + InstalledMarkFromProgramFolder();
    fs::create_directories(bin);
    fs::create_directories(fs::path(mark).parent_path());
    std::ofstream(mark) << "";
    fs::create_directories(home);
    testsupport::ScopedEnv env;
    env.Set("HOME", home).Set("XDG_CONFIG_HOME", std::nullopt).Set("XDG_STATE_HOME", root.File("state"));
    SetProgramFolder(bin);
    const std::set<std::string> tree = TreeOf(root.File("usr"));
    const std::string config = home + "/.config/tavrin_rx_ctrl";
    const std::string state = root.File("state") + "/tavrin_rx_ctrl";

    // The operator's settings and the unit's link, as a site would prepare them.
    fs::create_directories(config + "/ports");
    AppSettingsData prepared;
    prepared.AppTitle = "Installed station";
    prepared.ReadTotalTimeoutConstant = 150;
    ASSERT_TRUE(WriteSettingsFile(config + "/tavrin_rx_ctrl_v2.3.5.ini", prepared));
    for (int n = 2; n <= 96; ++n) fs::create_symlink("/dev/null", config + "/ports/COM" + std::to_string(n));
    sim::SimOptions so;
    so.ptyLinkPath = config + "/ports/COM1";
    so.restartMs = 0;
    so.drift = false;
    rig.unit = std::make_unique<sim::SimUnit>(so);
    std::string error;
    ASSERT_TRUE(rig.unit->Start(&error)) << error;

    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    EXPECT_EQ(w.windowTitle().toStdString(), "Installed station");
    EXPECT_TRUE(w.UnitConnected());
    {
        CAboutDlg about;
        EXPECT_EQ(about.FilesLabel()->text().toStdString(),
                  "Settings: " + config + "/tavrin_rx_ctrl_v2.3.5.ini\nLogs: " + state + "/");
    }
    ApplyPollingOptions(w, 1234);
    rig.Exit();

    AppSettingsData saved;
    ASSERT_TRUE(ReadSettingsFile(config + "/tavrin_rx_ctrl_v2.3.5.ini", saved));
    EXPECT_EQ(saved.PollIntervalMs, 1234);
    EXPECT_EQ(saved.LastComPort, 0);
    std::string log;
    ASSERT_TRUE(ReadWholeFile(state + "/tavrin_rx_ctrl_v2.3.5.log", log, SIZE_MAX));
    EXPECT_NE(log.find("9999rgadd;;"), std::string::npos);
    EXPECT_EQ(ModeOf(state), 0700u);
    EXPECT_EQ(ModeOf(root.File("state")), 0700u);
    EXPECT_EQ(TreeOf(root.File("usr")), tree);
    // Nothing went to the folder the tests use as the portable program folder either.
    EXPECT_FALSE(fs::exists(rig.folder.path + "/tavrin_rx_ctrl_v2.3.5.ini"));
}

TEST(MainInstalled, AFirstRunMakesThePrivateStateFolderAndWritesItsSettings) {
    RigOptions options;
    options.startUnit = false;
    options.settings = nullptr;
    options.hideMachinePorts = false;
    Rig rig(options);
    testsupport::TempFolder root("tavrin-first-run");
    const std::string home = root.File("home");
    const std::string config = root.File("cfg/tavrin_rx_ctrl");
    // Only the machine's serial ports are hidden, in the configuration folder.
    fs::create_directories(config + "/ports");
    for (int n = 1; n <= 96; ++n) fs::create_symlink("/dev/null", config + "/ports/COM" + std::to_string(n));
    fs::create_directories(home);
    testsupport::ScopedEnv env;
    env.Set("HOME", home).Set("XDG_CONFIG_HOME", root.File("cfg")).Set("XDG_STATE_HOME", std::nullopt);
    SetProgramFolder(rig.folder.path, FolderMode::Installed);
    rig.Start();
    rig.Exit();
    AppSettingsData saved;
    EXPECT_TRUE(ReadSettingsFile(config + "/tavrin_rx_ctrl_v2.3.5.ini", saved));
    EXPECT_EQ(saved.LastComPort, -1);
    EXPECT_TRUE(fs::is_regular_file(home + "/.local/state/tavrin_rx_ctrl/tavrin_rx_ctrl_v2.3.5.log"));
    EXPECT_EQ(ModeOf(home + "/.local/state"), 0700u);
    EXPECT_FALSE(fs::exists(rig.folder.path + "/tavrin_rx_ctrl_v2.3.5.ini"));
    EXPECT_FALSE(fs::exists(rig.folder.path + "/tavrin_rx_ctrl_v2.3.5.log"));
}

TEST(MainInstalled, ThePortableAboutBoxNamesTheProgramFolder) {
    Rig rig(Quiet());
    rig.Start();
    CAboutDlg about;
    EXPECT_EQ(about.FilesLabel()->text().toStdString(),
              "Settings: " + rig.folder.path + "/tavrin_rx_ctrl_v2.3.5.ini\nLogs: " + rig.folder.path + "/");
    EXPECT_EQ(about.TitleLabel()->text().toStdString(), std::string("Tavrin receiver control v") + ProgramVersion());
}

// A state folder that cannot be made (its parent is a file: no permission
// overrides that) loses the transaction log and the event log: said once at
// start with the folder and the reason, and the program goes on.
TEST(MainInstalled, AFolderThatCannotBeWrittenIsSaidOnceAndTheProgramGoesOn) {
    RigOptions options;
    options.settings = nullptr;
    options.hideMachinePorts = false;
    Rig rig(options);
    testsupport::TempFolder root("tavrin-unwritable");
    const std::string config = root.File("cfg/tavrin_rx_ctrl");
    fs::create_directories(config + "/ports");
    for (int n = 2; n <= 96; ++n) fs::create_symlink("/dev/null", config + "/ports/COM" + std::to_string(n));
    fs::create_symlink(rig.unit->PtySlavePath(), config + "/ports/COM1");
    std::ofstream(root.File("state")) << "a file, not a folder";
    testsupport::ScopedEnv env;
    env.Set("HOME", root.File("cfg")).Set("XDG_CONFIG_HOME", root.File("cfg")).Set("XDG_STATE_HOME", root.File("state"));
    SetProgramFolder(rig.folder.path, FolderMode::Installed);

    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    EXPECT_TRUE(w.UnitConnected());
    const std::vector<std::string> said = rig.Texts();
    ASSERT_EQ(said.size(), 1u);
    // The system's reason, in the operator's language.
    EXPECT_EQ(said[0], "Unable to keep the transaction log and the event log: " + root.File("state") +
                           "/tavrin_rx_ctrl: " + std::strerror(ENOTDIR) + "\nThe program goes on without them.");
    rig.Exit();
    EXPECT_TRUE(fs::is_regular_file(config + "/tavrin_rx_ctrl_v2.3.5.ini")) << "the settings were still saved";
}

// SIGTERM and SIGINT close the program as its window's close does: status 0,
// the settings saved. The program runs as a user starts it, from a folder of
// its own that holds only links to nothing as its COM ports.
TEST(MainSignals, TermAndIntCloseTheProgramWithItsSettingsSaved) {
    const char* bin = std::getenv("TAVRIN_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    for (const int signal : {SIGTERM, SIGINT}) {
        testsupport::TempFolder folder("tavrin-signal");
        const std::string program = folder.File("tavrin_rx_ctrl");
        fs::copy_file(std::string(bin) + "/tavrin_rx_ctrl", program);
        fs::create_directories(folder.File("ports"));
        for (int n = 1; n <= 96; ++n) fs::create_symlink("/dev/null", folder.File("ports/COM" + std::to_string(n)));
        const pid_t pid = testsupport::SpawnProgram(program, {}, "/dev/null", folder.File("out"), folder.File("err"),
                                                    {"QT_QPA_PLATFORM=offscreen"});
        ASSERT_GT(pid, 0);
        // Started: it has opened its transaction log.
        ASSERT_TRUE(testsupport::WaitUntil([&] { return fs::exists(folder.File("tavrin_rx_ctrl_v2.3.5.log")); }));
        kill(pid, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << strsignal(signal) << " status " << status;
        EXPECT_TRUE(fs::is_regular_file(folder.File("tavrin_rx_ctrl_v2.3.5.ini"))) << strsignal(signal);
    }
}
