#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/net.h"

namespace {

TEST(Net, DescriptorZeroIsNeverASocket) {
    const int saved = dup(0);
    ASSERT_GE(saved, 0);
    close(0);
    const SocketHandle s = CreateTcpSocket();
    EXPECT_NE(s, kNoSocket);
    EXPECT_GT(s, 0);
    EXPECT_EQ(fcntl(0, F_GETFD), -1);   // 0 was handed back, not kept
    CloseSocket(s);
    ASSERT_EQ(dup2(saved, 0), 0);
    close(saved);
}

TEST(Net, ConnectStopsAtOnceWhenCancelledAndRefusesBadAddresses) {
    const SocketHandle s = CreateTcpSocket();
    ASSERT_NE(s, kNoSocket);
    std::atomic<int> cancelled{1};
    // An address that never answers would otherwise use up the whole bound.
    const int result = ConnectWithTimeout(s, "10.255.255.1", 9999, 600000, &cancelled);
    EXPECT_TRUE(result == ECANCELED || result == ENETUNREACH || result == EHOSTUNREACH) << result;
    CloseSocket(s);
    const SocketHandle t = CreateTcpSocket();
    EXPECT_EQ(ConnectWithTimeout(t, "not an address", 9999, 1000), EINVAL);
    EXPECT_EQ(LastSocketError(), EINVAL);
    CloseSocket(t);
}

}  // namespace
