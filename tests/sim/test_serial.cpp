// The unit on a real pseudo-terminal: bytes in, bytes out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sim_test_util.h"

using namespace simtest;

namespace {

class SerialUnit : public ::testing::Test {
protected:
    void StartUnit(sim::SimOptions o = {}) {
        o.drift = false;
        if (o.restartMs == 7000) o.restartMs = 0;
        unit_ = std::make_unique<sim::SimUnit>(o);
        std::string error;
        ASSERT_TRUE(unit_->Start(&error)) << error;
        port_ = std::make_unique<SerialClient>(unit_->PtySlavePath());
        ASSERT_TRUE(port_->IsOpen());
    }
    std::unique_ptr<sim::SimUnit> unit_;
    std::unique_ptr<SerialClient> port_;
};

std::string TempDir() {
    char pattern[] = "/tmp/sim_serial_XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    return dir ? dir : "";
}

}  // namespace

TEST_F(SerialUnit, AnswersReadsAndWritesWithExactBytes) {
    StartUnit();
    EXPECT_EQ(port_->Exchange("9999rgadd;;"), Reply(1, '1', "1"));
    EXPECT_EQ(port_->Exchange("0001r1loc;;"), Reply(1, '1', "1"));
    EXPECT_EQ(port_->Exchange("0001wgmod;8;"), Reply(1, '1', "8"));
    EXPECT_EQ(unit_->Value("gmod"), "8");
    EXPECT_EQ(port_->Exchange("0001rnone;;"), Reply(1, 'E', ""));
    EXPECT_EQ(unit_->Requests(), (std::vector<std::string>{Frame("9999rgadd;;"), Frame("0001r1loc;;"),
                                                            Frame("0001wgmod;8;"), Frame("0001rnone;;")}));
    EXPECT_EQ(unit_->Counters().replies, 4u);
    unit_->ClearRequests();
    EXPECT_TRUE(unit_->Requests().empty());
}

// Silence is shown by order: the unit handles frames one after another, so had
// it answered the first, that answer would come before the second's.
TEST_F(SerialUnit, IgnoresOtherAddressesAndBadChecksumsButToleratesNoise) {
    StartUnit();
    std::string bad = Frame("0001rgudm;;");
    bad[bad.size() - 2] = char(uint8_t(bad[bad.size() - 2]) ^ 0x10);
    ASSERT_TRUE(port_->Send(Frame("0002rgudm;;") + bad + "\x55\xAA\x7F noise" + Frame("0001r1los;;")));
    EXPECT_EQ(port_->ReadUntilEtx(), Reply(1, '1', "1"));
    const sim::SimCounters c = unit_->Counters();
    EXPECT_EQ(c.otherAddress, 1u);
    EXPECT_EQ(c.badChecksum, 1u);
    EXPECT_EQ(unit_->Requests(), std::vector<std::string>{Frame("0001r1los;;")});
    // A frame cut short by a new STX is abandoned; the new one is answered.
    ASSERT_TRUE(port_->Send(std::string("\x02" "0001r1l") + Frame("0001r1pol;;")));
    EXPECT_EQ(port_->ReadUntilEtx(), Reply(1, '1', "0"));
}

TEST_F(SerialUnit, FaultsChangeTheBytesOnTheLine) {
    StartUnit();
    const std::string good = Reply(1, '1', "0");

    unit_->SetFault(sim::Fault::NoiseBeforeStx, 1);
    const std::string noisy = port_->Exchange("0001r1pol;;");
    ASSERT_GT(noisy.size(), good.size());
    EXPECT_EQ(noisy.substr(noisy.size() - good.size()), good);
    EXPECT_EQ(noisy.find('\x02'), noisy.size() - good.size());

    unit_->SetFault(sim::Fault::BadChecksum, 1);
    std::string wrong = good;
    wrong[wrong.size() - 2] = char(uint8_t(wrong[wrong.size() - 2]) ^ 0x01);
    EXPECT_EQ(port_->Exchange("0001r1pol;;"), wrong);

    // No ETX: the reply lacks its last byte; the next reply comes complete.
    unit_->SetFault(sim::Fault::NoEtx, 1);
    ASSERT_TRUE(port_->Send(Frame("0001r1pol;;")));
    ASSERT_TRUE(WaitFor([&] { return unit_->Counters().faultsApplied == 3; }));
    EXPECT_EQ(port_->Exchange("0001r1los;;"), good.substr(0, good.size() - 1) + Reply(1, '1', "1"));

    // Silence for two replies, then answers again.
    unit_->SetFault(sim::Fault::Silence, 2);
    ASSERT_TRUE(port_->Send(Frame("0001r1pol;;") + Frame("0001r1pol;;") + Frame("0001r1los;;")));
    EXPECT_EQ(port_->ReadUntilEtx(), Reply(1, '1', "1"));

    unit_->SetFault(sim::Fault::SlowReply, 1, 30);
    EXPECT_EQ(port_->Exchange("0001r1pol;;"), good);
    unit_->SetFault(sim::Fault::SplitTcpSegment, 1, 5);
    EXPECT_EQ(port_->Exchange("0001r1pol;;"), good);
    EXPECT_EQ(unit_->Counters().faultsApplied, 7u);

    unit_->SetFault(sim::Fault::Silence);   // until cleared
    ASSERT_TRUE(port_->Send(Frame("0001r1pol;;")));
    ASSERT_TRUE(WaitFor([&] { return unit_->Counters().faultsApplied == 8; }));
    unit_->ClearFault();
    EXPECT_EQ(port_->Exchange("0001r1los;;"), Reply(1, '1', "1"));
}

TEST_F(SerialUnit, RestartIsSilentThenAnswersInTheNewMode) {
    sim::SimOptions o;
    o.restartMs = 200;
    StartUnit(o);
    EXPECT_EQ(port_->Exchange("0001wgudm;1;"), Reply(1, '1', "1"));
    ASSERT_TRUE(port_->Send(Frame("0001rgudm;;")));
    ASSERT_TRUE(WaitFor([&] { return unit_->Counters().ignoredRestarting == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !unit_->IsRestarting(); }));
    EXPECT_EQ(port_->Exchange("0001r1wid;;"), Reply(1, '1', "0"));   // DVB-T 8MHz
    EXPECT_EQ(unit_->Requests().size(), 2u);
}

TEST_F(SerialUnit, PortCanBeClosedAndReopened) {
    StartUnit();
    EXPECT_EQ(port_->Exchange("0001r1los;;"), Reply(1, '1', "1"));
    port_->Close();
    EXPECT_EQ(unit_->Counters().replies, 1u);
    // Several open/close rounds: the unit keeps answering on the same device.
    for (int i = 0; i < 3; ++i) {
        SerialClient again(unit_->PtySlavePath());
        ASSERT_TRUE(again.IsOpen());
        again.ReadPending();
        EXPECT_EQ(again.Exchange("0001rdlas;;"), Reply(1, '1', "1"));
    }
}

TEST(SerialLink, PlacesReplacesAndRemovesItsLink) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/COM3";
    ASSERT_EQ(::symlink("/nonexistent/old", link.c_str()), 0);
    {
        sim::SimOptions o;
        o.ptyLinkPath = link;
        sim::SimUnit unit(o);
        std::string error;
        ASSERT_TRUE(unit.Start(&error)) << error;
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), unit.PtySlavePath());
        SerialClient viaLink(link);
        ASSERT_TRUE(viaLink.IsOpen());
        EXPECT_EQ(viaLink.Exchange("9999rgadd;;"), Reply(1, '1', "1"));
        unit.Stop();
        EXPECT_FALSE(std::filesystem::is_symlink(link));
    }
    // A regular file is never replaced.
    std::ofstream(dir + "/COM4") << "keep";
    {
        sim::SimOptions o;
        o.ptyLinkPath = dir + "/COM4";
        sim::SimUnit unit(o);
        std::string error;
        EXPECT_FALSE(unit.Start(&error));
        EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    }
    std::ifstream kept(dir + "/COM4");
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "keep");
    std::filesystem::remove_all(dir);
}
