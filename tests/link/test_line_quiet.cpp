// The quiet check on a slow line: a copy of a long reply that comes after the
// run's last exchange is still caught when the listen no longer stretches with
// the reply's own line time.
#include <gtest/gtest.h>

#include <filesystem>

#include "link/locks.h"
#include "link/remote_control.h"
#include "link/unrequested.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"
#include "support/temp_folder.h"

// A 100-byte reply at 9600 baud (104 ms on the line) whose copy follows it as a
// write of its own, 0 or 60 ms behind: the run of reads that ends with it sees
// the copy; without the fault it is clean.
TEST(LineQuiet, ACopyBehindALongReplyOnASlowLineIsCaught) {
    struct Case {
        bool repeat;
        uint32_t behindMs;
        bool clean;
    };
    const Case cases[] = {{false, 0, true}, {true, 0, false}, {true, 60, false}};
    for (const Case& c : cases) {
        testsupport::TempFolder folder("tavrin-line-quiet");
        std::filesystem::create_directories(folder.File("ports"));
        SetProgramFolder(folder.Path());
        sim::SimOptions o;
        o.drift = false;
        o.lineRate = 9600;
        o.ptyLinkPath = folder.File("ports/COM1");
        sim::SimUnit unit(o);
        std::string error;
        ASSERT_TRUE(unit.Start(&error)) << error;
        unit.SetValue("edef", std::string(91, 'x'));
        if (c.repeat) unit.SetFault(sim::Fault::ReplyTwiceApart, 1, c.behindMs, "edef");

        CFerritRemoteControl link(nullptr);
        {
            LinkGuard guard(link.LinkMutex());
            ASSERT_EQ(link.OpenSerialPort(0), kResultOk);
        }
        bool clean = false;
        {
            UnrequestedWatch watch(link);
            EXPECT_TRUE(link.Exchange("0001r1loc;;").Answered());
            EXPECT_EQ(link.Exchange("0001redef;;").data, std::string(91, 'x'));
            clean = watch.Clean(UnrequestedWatch::Listen::Always);
        }
        EXPECT_EQ(clean, c.clean) << c.repeat << " " << c.behindMs;
        unit.Stop();
        SetProgramFolder(ExecutableFolder());
    }
}
