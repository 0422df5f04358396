#include "net/AddressLookup.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using Mac = std::array<std::uint8_t, 6>;

TEST(ParseIp, DottedDecimalOnly)
{
    EXPECT_EQ(vtlookup::ParseIp("192.168.1.20"), 0xC0A80114u);
    for (std::uint32_t dw : {0u, 0xC0A80114u, 0xFFFFFFFFu})
        EXPECT_EQ(vtlookup::ParseIp(vtlookup::FormatIp(dw)), dw);
    for (const char* text : {"", "1.2.3.256", "1.2.3", "1,2.3.4", "1.2.3.4 ", "1.2.3.0004", " 1.2.3.4"})
        EXPECT_FALSE(vtlookup::ParseIp(text).has_value()) << '"' << text << '"';
}

TEST(ArpTable, FindsCompleteEntriesOnly)
{
    const char* const table =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "192.168.1.1      0x1         0x2         a4:91:b1:0c:2e:ff     *        eth0\n"
        "192.168.1.21     0x1         0x2         00:00:00:00:00:00     *        eth0\n"
        "192.168.1.22     0x1         0x4         00:1b:2c:3d:4e:5f     *        eth0\n"
        "192.168.1.23     0x1         0x6         00:1B:2C:3D:4E:60     *        wlan0\n"
        "192.168.1.24     0x1         0x2         00:1b:2c              *        eth0\n"
        "garbage\n"
        "192.168.1.26     0x1         0x2         00-1b-2c-3d-4e-62     *        eth0\n";
    using vtlookup::detail::ParseArpTable;
    EXPECT_EQ(ParseArpTable(table, 0xC0A80101u), (Mac{0xA4, 0x91, 0xB1, 0x0C, 0x2E, 0xFF}));
    EXPECT_EQ(ParseArpTable(table, 0xC0A80117u), (Mac{0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x60}));
    // All-zero, incomplete, malformed and absent entries give nothing.
    for (std::uint32_t dw : {0xC0A80115u, 0xC0A80116u, 0xC0A80118u, 0xC0A8011Au, 0xC0A80163u})
        EXPECT_FALSE(ParseArpTable(table, dw).has_value()) << vtlookup::FormatIp(dw);
    // The first line is the header, even when it looks like an entry.
    EXPECT_FALSE(ParseArpTable("192.168.1.1 0x1 0x2 a4:91:b1:0c:2e:ff * eth0\n", 0xC0A80101u).has_value());
}

class LookupTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        vtlookup::SetLookupForTesting({});
        vtlookup::detail::SetSystemCallsForTesting({});
        vtlookup::detail::SetTimeout(3000ms);
    }
};

TEST_F(LookupTest, ResultsWithinTheTimeOutArriveAHangingResolverIsCutOff)
{
    EXPECT_EQ(vtlookup::Resolve("localhost"), 0x7F000001u);
    EXPECT_FALSE(vtlookup::Arp(0x7F000003u).has_value()); // loopback never has a neighbour entry
    // Overrides replace only their own member.
    vtlookup::detail::SetSystemCallsForTesting({[](const std::string&) { return std::optional(0x0A000007u); },
                                                [](std::uint32_t dw) -> std::optional<std::string> {
                                                    if (dw != 0x0A000007u)
                                                        throw std::runtime_error("resolver failure");
                                                    return "pc1.lab";
                                                }});
    vtlookup::Functions fns;
    fns.fnArp = [](std::uint32_t) { return std::optional(Mac{1, 2, 3, 4, 5, 6}); };
    vtlookup::SetLookupForTesting(fns);
    EXPECT_EQ(vtlookup::Resolve("pc1"), 0x0A000007u);
    EXPECT_EQ(vtlookup::Reverse(0x0A000007u), std::string("pc1.lab"));
    EXPECT_FALSE(vtlookup::Reverse(0x0A000009u).has_value());
    EXPECT_EQ(vtlookup::Arp(0x0A000007u), (Mac{1, 2, 3, 4, 5, 6}));

    // Stand-ins that block until released, then count that they finished.
    auto pGate = std::make_shared<std::promise<void>>();
    auto pFinished = std::make_shared<std::atomic<int>>(0);
    const auto after = [gate = pGate->get_future().share(), pFinished](auto result) {
        gate.wait_for(10s);
        ++*pFinished;
        return result;
    };
    vtlookup::detail::SetSystemCallsForTesting(
        {[after](const std::string&) { return after(std::optional(0x0A000007u)); },
         [after](std::uint32_t) { return after(std::optional<std::string>("late")); }});
    vtlookup::detail::SetTimeout(100ms);
    EXPECT_FALSE(vtlookup::Resolve("slow.example").has_value());
    EXPECT_FALSE(vtlookup::Reverse(0x0A000007u).has_value());

    // Restoring the real calls must not disturb the abandoned threads.
    vtlookup::detail::SetSystemCallsForTesting({});
    pGate->set_value();
    for (int i = 0; i < 200 && pFinished->load() < 2; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(pFinished->load(), 2);
}

TEST_F(LookupTest, AnswerPostedBeforeACancelIsDropped)
{
    int argc = 1;
    char name[] = "test_lookup";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject receiver;
    auto pAsked = std::make_shared<std::atomic<int>>(0);
    vtlookup::Functions fns;
    fns.fnReverse = [pAsked](std::uint32_t) {
        ++*pAsked;
        return std::optional<std::string>("pc.lab");
    };
    vtlookup::SetLookupForTesting(fns);

    // One lookup is answered; the other is cancelled once its answer is on its way.
    std::optional<std::string> answered;
    int nLate = 0;
    vtlookup::CHostLookup kept({"", 0x0A000007u}, &receiver, [&answered](const vtlookup::HostAnswer& answer) {
        answered = answer.reverseName;
    });
    vtlookup::CHostLookup cancelled({"", 0x0A000008u}, &receiver,
                                    [&nLate](const vtlookup::HostAnswer&) { ++nLate; });
    for (int i = 0; i < 500 && pAsked->load() < 2; ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(100ms); // both answers get posted meanwhile
    cancelled.Cancel();
    for (int i = 0; i < 100 && !answered; ++i) {
        app.processEvents();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(answered, std::string("pc.lab"));
    EXPECT_EQ(nLate, 0);
}
