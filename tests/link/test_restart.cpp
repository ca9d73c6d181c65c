// The link's step after a unit restart: the fixed wait, then a new connection
// over Ethernet and nothing at all on the serial line.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link_peers.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "support/link_exchange.h"

using namespace linktest;
using testsupport::Exchange;

namespace {

// Records the fixed waits instead of sleeping.
class RecordedWaits {
public:
    RecordedWaits() {
        SetWaiter([this](uint32_t ms) { waits.push_back(ms); });
    }
    ~RecordedWaits() { SetWaiter(nullptr); }
    std::vector<uint32_t> waits;
};

TEST(LinkRestart, OverEthernetTheLinkWaitsThenConnectsAnew) {
    TcpUnit unit;
    RecordingWindow window;
    CFerritRemoteControl link(&window);
    link.SetCloseOnErrors(false, false);
    link.SelectEthernet(unit.Address());
    ASSERT_EQ(link.ConnectSocket(), 0);
    ASSERT_TRUE(WaitUntil([&] { return unit.Accepted() == 1; }));

    RecordedWaits recorded;
    link.WaitForRestart();
    EXPECT_EQ(recorded.waits, (std::vector<uint32_t>{kUnitRestartWaitMs}));
    EXPECT_EQ(kUnitRestartWaitMs, 7000u);
    // The old connection is given up and a new one made.
    EXPECT_TRUE(WaitUntil([&] { return unit.Accepted() == 2; }));
    EXPECT_TRUE(WaitUntil([&] { return unit.Closed() == 1; }));
    EXPECT_TRUE(link.HasSocket());
    EXPECT_EQ(link.Connected(), 1);
    EXPECT_TRUE(unit.Requests().empty());

    unit.PushAnswer(ReplyFrame("00011" "1;"));
    EXPECT_EQ(Exchange(link, "0001rgadd;;"), kResultOk);
    EXPECT_EQ(unit.Accepted(), 2);
}

TEST(LinkRestart, OnTheSerialLineTheLinkOnlyWaits) {
    TempDir dir;
    PtyUnit unit;
    constexpr int kPort = 6;
    SetProgramFolder(dir.Path());
    unit.LinkAsComPort(dir.Path(), kPort);
    RecordingWindow window;
    CFerritRemoteControl link(&window);
    {
        SerialTimeouts kept = link.CommTimeouts();
        kept.readTotalConstant = 60;
        link.SetCommTimeouts(kept);
    }
    ASSERT_EQ(link.OpenSerialPort(kPort), kResultOk);

    RecordedWaits recorded;
    link.WaitForRestart();
    EXPECT_EQ(recorded.waits, (std::vector<uint32_t>{kUnitRestartWaitMs}));
    EXPECT_TRUE(link.IsConnected());
    EXPECT_FALSE(link.HasSocket());
    EXPECT_TRUE(unit.Requests().empty());

    unit.Push(ReplyFrame("00011" "1;"));
    EXPECT_EQ(Exchange(link, "0001rgadd;;"), kResultOk);
    EXPECT_EQ(unit.Requests().size(), 1u);
}

}  // namespace
