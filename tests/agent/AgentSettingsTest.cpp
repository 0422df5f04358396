// Options from the command line over the configuration file, and the address lists.
#include "AgentSettings.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <tuple>

using namespace vtagentd;

namespace {

struct TempConfig {
    explicit TempConfig(const std::string& strText)
        : path(std::filesystem::temp_directory_path() /
               ("vtagentd-test-" + std::to_string(::getpid()) + ".conf"))
    {
        std::ofstream(path) << strText;
    }
    ~TempConfig() { std::filesystem::remove(path); }
    std::filesystem::path path;
};

} // namespace

TEST(AgentSettings, CommandLineWinsOverTheFileWhichWinsOverTheDefaults)
{
    const TempConfig config("# lab 3\n"
                            "port = 9101\n"
                            "  bind=10.13.0.11\n"
                            "name = LAB 03\n"
                            "allow = 10.13.0.0/24, 10.99.0.5\n"
                            "action-command = /usr/local/sbin/lab-power --quiet\n"
                            "dry-run = yes\n"
                            "verbose = on\n");
    AgentSettings s;
    std::string strError;
    ASSERT_TRUE(LoadSettings(
        {"--config", config.path.string(), "--port=42010", "--dry-run=no", "--allow", "127.0.0.0/8"}, s,
        strError))
        << strError;
    EXPECT_EQ(std::tuple(s.wPort, s.dwBind, s.strName, Ipv4NetListText(s.allow), s.strActionCommand,
                         s.bDryRun, s.bVerbose, s.strConfigPath),
              std::tuple(42010, 0x0A0D000Bu, "LAB 03", "127.0.0.0/8", "/usr/local/sbin/lab-power --quiet",
                         false, true, config.path.string()));

    // The default file is read when it exists and skipped when it does not.
    ASSERT_TRUE(LoadSettings({"--verbose"}, s = {}, strError, config.path.string())) << strError;
    EXPECT_EQ(s.wPort, 9101);
    EXPECT_EQ(Ipv4NetListText(s.allow), "10.13.0.0/24,10.99.0.5");
    ASSERT_TRUE(LoadSettings({}, s = {}, strError, "/nonexistent/vtagentd.conf")) << strError;
    EXPECT_EQ(s.wPort, 9001);
    EXPECT_TRUE(s.strConfigPath.empty());
    EXPECT_FALSE(s.strName.empty());
}

TEST(AgentSettings, MistakesAreRefusedWithTheirPlace)
{
    const struct {
        std::vector<std::string> args;
        const char* pszFile; ///< contents of the default configuration file
        const char* pszError;
    } cases[] = {
        {{"--port", "0"}, "", "--port: \"0\" is not a port number"},
        {{"--port=65536"}, "", "--port: \"65536\" is not a port number"},
        {{}, "port = 90x1\n", ":1: port: \"90x1\" is not a port number"},
        {{"--bind", "10.0.0"}, "", "--bind: \"10.0.0\" is not an IPv4 address"},
        {{"--name", "ABCDEFGHIJKLMNOP"}, "", "--name: the name must be 1 to 15"},
        {{"--name", "PC-\xC3\xA9"}, "", "--name: the name must be 1 to 15"},
        {{"--name="}, "", "--name: the name must be 1 to 15"},
        {{"--allow", "10.0.0.1,"}, "", "an empty item in the address list"},
        {{}, "\n\nverbose = maybe\n", ":3: verbose: \"maybe\" is neither yes nor no"},
        {{}, "# x\nprot = 9001\n", ":2: unknown key \"prot\""},
        {{}, "config = /etc/other.conf\n", ":1: unknown key \"config\""},
        {{}, "port 9001\n", ":1: expected KEY = VALUE"},
        {{"--port"}, "", "--port needs a value"},
        {{"--reboot"}, "", "unknown option --reboot"},
        {{"9001"}, "", "unexpected argument \"9001\""},
        {{"--config", "/nonexistent/vtagentd.conf"}, "", "cannot read /nonexistent/vtagentd.conf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszError);
        const TempConfig config(c.pszFile);
        AgentSettings s;
        std::string strError;
        EXPECT_FALSE(LoadSettings(c.args, s, strError, config.path.string()));
        EXPECT_NE(strError.find(c.pszError), std::string::npos) << strError;
    }
}

TEST(AgentSettings, DefaultNameIsTheHostNamesFirstLabelInAtMostFifteenAsciiBytes)
{
    EXPECT_EQ(DefaultName("lab-pc-07.school.example"), "lab-pc-07");
    EXPECT_EQ(DefaultName("classroom-projector-12"), "classroom-proje");
    EXPECT_EQ(DefaultName("pc\xC3\xA9x"), "pcx");
    EXPECT_EQ(DefaultName(""), "PC");
    EXPECT_EQ(DefaultName(".local"), "PC");
}

TEST(Ipv4Net, ParsingAndMembership)
{
    const struct {
        const char* pszText;
        std::uint32_t dwInside;
        std::uint32_t dwOutside; ///< 0: none
    } cases[] = {
        {"10.13.0.0/24", 0x0A0D00FE, 0x0A0D0100},
        {"10.13.0.77/24", 0x0A0D0001, 0x0A0E0001}, // bits past the prefix do not matter
        {"192.168.1.20", 0xC0A80114, 0xC0A80115},
        {"0.0.0.0/0", 0xFFFFFFFF, 0},
    };
    for (const auto& c : cases) {
        const auto net = ParseIpv4Net(c.pszText);
        ASSERT_TRUE(net) << c.pszText;
        EXPECT_TRUE(net->Contains(c.dwInside)) << c.pszText;
        EXPECT_TRUE(c.dwOutside == 0 || !net->Contains(c.dwOutside)) << c.pszText;
    }
    for (const char* pszBad : {"10.13.0.0/", "10.13.0.0/33", "10.13.0.0/-1", "010.13.0.1", "lab-pc", ""})
        EXPECT_FALSE(ParseIpv4Net(pszBad)) << pszBad;
}
