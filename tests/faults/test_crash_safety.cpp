// A process killed at any moment while it saves the settings file or a
// configuration file leaves either the old file or the complete new one.
//
// A forked child saves the file over and over, alternating between two
// versions, through the program's own save functions; the parent kills it with
// SIGKILL after a random delay and checks what is on disk. Many rounds per file.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "app/unit_session.h"
#include "faults/fault_support.h"
#include "link/remote_control.h"
#include "pages/config_file.h"
#include "pages/config_ops.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "platform/program_folder.h"

namespace {

struct KillStats {
    int rounds = 0;
    int midWrite = 0;     // kills that left a temporary file behind: a save was under way
    int strayFiles = 0;   // temporary files found after the kills
};

// Names in `folder` other than `keep`.
std::vector<std::string> OtherFiles(const std::string& folder, const std::string& keep) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name != keep) names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// Runs `save(round)` in a child, endlessly, and kills it at random moments.
// After every kill the file at `path` must be one of `versions`.
template <class Save>
KillStats KillWhileSaving(const std::string& folder, const std::string& name,
                          const std::vector<std::string>& versions, Save save) {
    const std::string path = folder + "/" + name;
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delayUs(0, 6000);
    KillStats stats;
    // Enough rounds that many kills land inside a save; bounded either way.
    while (stats.rounds < 60 || (stats.midWrite < 10 && stats.rounds < 600)) {
        const pid_t child = fork();
        if (child == 0) {
            for (unsigned round = 0;; ++round) save(round);
        }
        EXPECT_GT(child, 0);
        if (child <= 0) break;
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        ++stats.rounds;

        std::string contents;
        EXPECT_TRUE(ReadWholeFile(path, contents)) << "the file vanished in round " << stats.rounds;
        bool known = false;
        for (const std::string& version : versions) known = known || contents == version;
        EXPECT_TRUE(known) << "round " << stats.rounds << ": a partial or foreign file of " << contents.size()
                           << " bytes";
        if (!known) break;

        const std::vector<std::string> others = OtherFiles(folder, name);
        if (!others.empty()) ++stats.midWrite;
        stats.strayFiles += int(others.size());
        for (const std::string& other : others) {
            // What a killed save leaves is hidden and never taken for the file itself.
            EXPECT_EQ(other.rfind("." + name + ".partial-", 0), 0u) << other;
            unlink((folder + "/" + other).c_str());
        }
    }
    return stats;
}

AppSettingsData SettingsVersion(char fill) {
    AppSettingsData s;
    s.LastComPort = fill == 'A' ? 0 : 7;
    s.PollIntervalMs = fill == 'A' ? 2000 : 750;
    // Long paths make each save take a while, so kills land inside it (the
    // whole file stays below the largest settings file that is read).
    s.IconFile = "/icons/" + std::string(40 * 1024, fill);
    s.AppTitle = std::string("Receiver ") + fill;
    s.LogoFile = "/logos/" + std::string(20 * 1024, fill);
    s.ConnectionType = fill == 'A' ? 0 : 1;
    s.LastIpAddress = fill == 'A' ? "10.0.0.1" : "192.168.100.200";
    return s;
}

TEST(CrashSafety, SettingsFileIsOldOrNewAfterKill) {
    TempFolder folder;
    const std::string path = SettingsFilePath(folder.Path());
    const AppSettingsData a = SettingsVersion('A');
    const AppSettingsData b = SettingsVersion('B');
    ASSERT_TRUE(WriteSettingsFile(path, a));
    const std::vector<std::string> versions = {SettingsBytes(a), SettingsBytes(b)};

    const KillStats stats = KillWhileSaving(folder.Path(), kSettingsBaseName + std::string(".ini"), versions,
                                            [&](unsigned round) {
                                                if (!WriteSettingsFile(path, round % 2 ? a : b)) _exit(3);
                                            });
    EXPECT_GE(stats.rounds, 60);
    // The kills did land inside saves: otherwise this test proved nothing.
    EXPECT_GT(stats.midWrite, 0);
    std::printf("settings: %d kills, %d inside a save, %d temporary files left behind\n", stats.rounds,
                stats.midWrite, stats.strayFiles);

    // A file left by a kill reads back as one of the two versions.
    AppSettingsData read;
    ASSERT_TRUE(ReadSettingsFile(path, read));
    EXPECT_TRUE(SettingsBytes(read) == versions[0] || SettingsBytes(read) == versions[1]);
}

// Stores a value in every writable row of the narrowband and decoder tables.
void FillTables(UnitState& unit, char fill) {
    for (const ParamEntry* table : {NarrowbandDemodTable, DecoderTable}) {
        for (const ParamEntry* row = table; row->code; ++row) {
            if (!row->writable) continue;
            ParamValue value;
            value.has = true;
            if (row->kind == ParamKind::Text) {
                value.text = row->Has(ParamFlags::FreqGhz) ? (fill == 'A' ? "1250.000" : "1750.500")
                                                           : std::string(200, fill);
            } else if (row->kind == ParamKind::OptionList) {
                value.number = 0;
            } else {
                value.number = fill == 'A' ? 1 : 0x0A000001;
            }
            StoreParamValue(unit, *row, value);
        }
    }
}

TEST(CrashSafety, ConfigurationFileIsOldOrNewAfterKill) {
    TempFolder folder;
    const std::string path = folder.Path() + "/unit.cfg";
    CFerritRemoteControl link(nullptr);
    RecordingView view;
    UnitState unit;
    CUnitSession session(link, unit, view);
    session.currentConfig = 3;
    session.pageMode = 0;
    unit.modelFlag = 1;   // one record: no exchange with the unit

    std::vector<std::string> versions;
    for (char fill : {'A', 'B'}) {
        FillTables(unit, fill);
        ASSERT_TRUE(SaveConfigToFile(session, path)) << view.LastMessage();
        std::string image;
        ASSERT_TRUE(ReadWholeFile(path, image));
        ASSERT_TRUE(ConfigFileChecksumOk(image));
        versions.push_back(image);
    }
    ASSERT_NE(versions[0], versions[1]);

    const KillStats stats = KillWhileSaving(folder.Path(), "unit.cfg", versions, [&](unsigned round) {
        FillTables(unit, round % 2 ? 'A' : 'B');
        if (!SaveConfigToFile(session, path)) _exit(3);
    });
    EXPECT_GE(stats.rounds, 60);
    EXPECT_GT(stats.midWrite, 0);
    std::printf("configuration: %d kills, %d inside a save, %d temporary files left behind\n", stats.rounds,
                stats.midWrite, stats.strayFiles);
    EXPECT_TRUE(view.messages.empty()) << view.LastMessage();
}

}  // namespace
