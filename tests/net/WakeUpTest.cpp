#include "TestAgents.h"

#include "app/Settings.h"
#include "net/Datagram.h"

using namespace vttest;
using std::chrono::milliseconds;

namespace {

class WakeUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        RedirectSettings();
        m_wPort = FreePortPair();
        ASSERT_NE(m_wPort, 0);
        vtsettings::WriteInt("Interface", "IP Port", m_wPort);
    }
    std::uint16_t m_wPort = 0;
};

} // namespace

TEST_F(WakeUp, OnePacketPerPcAtTheServerPort)
{
    Listener first(Ip("127.0.0.2"), m_wPort);
    Listener second(Ip("127.0.0.3"), m_wPort);
    Listener agentPort(Ip("127.0.0.2"), static_cast<std::uint16_t>(m_wPort + 1));
    ASSERT_TRUE(first.Ok() && second.Ok() && agentPort.Ok());
    const std::vector<std::uint8_t> macs = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55,
                                            0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_TRUE(CKwvtClient::WakeUp(macs, {0x7F000002, 0x7F000003}));

    const auto gotFirst = first.Collect(2, milliseconds(300));
    const auto gotSecond = second.Collect(2, milliseconds(50));
    ASSERT_EQ(gotFirst.size(), 1u);
    ASSERT_EQ(gotSecond.size(), 1u);
    const auto expectFirst = vtdgram::BuildWakePacket(macs.data());
    const auto expectSecond = vtdgram::BuildWakePacket(macs.data() + 6);
    EXPECT_EQ(gotFirst[0], std::vector<std::uint8_t>(expectFirst.begin(), expectFirst.end()));
    EXPECT_EQ(gotSecond[0], std::vector<std::uint8_t>(expectSecond.begin(), expectSecond.end()));
    EXPECT_TRUE(agentPort.Collect(1, milliseconds(50)).empty());
}

TEST_F(WakeUp, EmptyOrShortListsSendNothingExtra)
{
    Listener listener(Ip("127.0.0.2"), m_wPort);
    ASSERT_TRUE(listener.Ok());
    EXPECT_TRUE(CKwvtClient::WakeUp({}, {}));
    // A MAC list shorter than the address list wakes only the PCs it covers.
    EXPECT_TRUE(CKwvtClient::WakeUp({1, 2, 3, 4, 5, 6, 7}, {0x7F000002, 0x7F000002}));
    EXPECT_EQ(listener.Collect(3, milliseconds(200)).size(), 1u);
}
