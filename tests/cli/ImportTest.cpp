#include "CliTestSupport.h"

#include <QString>

#include <cstring>
#include <set>

using namespace clitest;

namespace {

constexpr const char* kHeader = "name,ip,mac,broadcast,groups\n";

std::uint32_t Ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return (std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) | (std::uint32_t{c} << 8) | d;
}

/// Line numbers of the "line N: ..." problems in a command's error output.
std::set<int> ProblemLines(const std::string& strErr)
{
    std::set<int> lines;
    for (const QString& strLine : QString::fromStdString(strErr).split(QLatin1Char('\n')))
        if (strLine.startsWith(QLatin1String("line ")))
            lines.insert(strLine.mid(5).section(QLatin1Char(':'), 0, 0).toInt());
    return lines;
}

using ImportTest = CtlFixture;

// Imported into a new data file and exported again, the same CSV: the second row lists A
// before B, so the import makes A first. The file is one the program writes too.
TEST_F(ImportTest, ExportOfAnImportGivesTheSameCsvAndRowsUpdateThePcAtTheirAddress)
{
    const std::string strCsv = std::string(kHeader) + "PC-001,10.0.0.1,00-1B-21-3A-4C-01,255.255.255.255,B\n"
                                                      "\"Room, 2 \"\"east\"\"\",10.0.0.2,,10.0.0.255,A;B\n"
                                                      "端末３,,00-1B-21-3A-4C-03,255.255.255.255,Lab 3\n"
                                                      "\" padded \",10.0.0.4,,255.255.255.255,A;Lab 3\n";
    WriteAll(Path("in.csv"), strCsv);
    const Result imported = Ctl({"import", Path("in.csv")});
    ASSERT_EQ(imported.nExit, 0) << imported.strErr;
    ASSERT_EQ(Ctl({"export", Path("out.csv")}).nExit, 0);
    EXPECT_EQ(ReadAll(Path("out.csv")), strCsv);
    CDoc loaded;
    ASSERT_TRUE(loaded.OnOpenDocument(Data()));
    const std::vector<std::uint8_t> resaved = loaded.SaveToBytes();
    const std::string strBefore = ReadAll(Data());
    EXPECT_EQ(strBefore, std::string(resaved.begin(), resaved.end()));
    const Result again = Ctl({"import", Path("out.csv")});
    EXPECT_EQ(std::make_pair(again.nExit, again.strOut),
              std::make_pair(0, std::string("Nothing to change.\n")));
    EXPECT_EQ(ReadAll(Data()), strBefore);

    // By IP address, else by MAC address among the PCs without one; an empty mac cell keeps
    // the MAC, and nothing is removed.
    WriteAll(Path("in.csv"), "groups,Name,mac,ip\n"
                             "H,NEW-1,,10.0.0.1\n"
                             "A,T3,00:1b:21:3a:4c:03,\n"
                             ",PC-C,aa-bb-cc-dd-ee-ff,10.0.0.3\n");
    const std::string strChanges = "new group \"H\"\n"
                                   "update 10.0.0.1: name \"PC-001\" -> \"NEW-1\"\n"
                                   "add NEW-1 to group \"H\"\n"
                                   "update 00-1B-21-3A-4C-03: name \"端末３\" -> \"T3\"\n"
                                   "add T3 to group \"A\"\n"
                                   "add PC-C (10.0.0.3)\n"
                                   "1 PCs added, 2 updated, 1 groups created, 2 memberships added.\n";
    const Result dry = Ctl({"import", "--dry-run", Path("in.csv")});
    EXPECT_EQ(std::make_pair(dry.nExit, dry.strOut),
              std::make_pair(0, strChanges + "Dry run: the data file was not changed.\n"));
    EXPECT_EQ(ReadAll(Data()), strBefore);
    const Result done = Ctl({"import", Path("in.csv")});
    EXPECT_EQ(std::make_pair(done.nExit, done.strOut), std::make_pair(0, strChanges)) << done.strErr;
    EXPECT_EQ(Ctl({"export"}).strOut, std::string(kHeader) +
                                          "NEW-1,10.0.0.1,00-1B-21-3A-4C-01,255.255.255.255,B;H\n"
                                          "\"Room, 2 \"\"east\"\"\",10.0.0.2,,10.0.0.255,A;B\n"
                                          "T3,,00-1B-21-3A-4C-03,255.255.255.255,A;Lab 3\n"
                                          "\" padded \",10.0.0.4,,255.255.255.255,A;Lab 3\n"
                                          "PC-C,10.0.0.3,AA-BB-CC-DD-EE-FF,255.255.255.255,\n");
}

TEST_F(ImportTest, EveryProblemIsReportedByLineAndTheDataFileStaysByteForByte)
{
    CDoc doc;
    const auto host = Mac(0xEE);
    doc.AddToGroup(doc.AddGroup("x;y"), doc.AddPc("HOST", Ip(10, 0, 0, 1), host.data(), 0xFFFFFFFFu)->m_nId);
    Save(doc);
    const std::string strBefore = ReadAll(Data());

    std::string strFull, strGroups;
    for (int i = 0; i < 254; ++i)
        strFull += "P" + std::to_string(i) + ",10.1." + std::to_string(i / 200) + "." +
                   std::to_string(i % 200 + 1) + ",,,\n";
    for (int i = 0; i < 100; ++i)
        strGroups +=
            "P" + std::to_string(i) + ",10.2.0." + std::to_string(i + 1) + ",,,g" + std::to_string(i) + "\n";
    const std::string strName128(128, 'n');

    const struct {
        const char* pszCase;
        std::string strCsv;
        std::set<int> lines;
    } cases[] = {
        {"bad IP address", "A,10.0.0.300,,,\nB,0.0.0.0,,,\n", {2, 3}},
        {"bad MAC address", "A,10.0.0.5,00-1B-21-3A-4C,,\n", {2}},
        {"bad broadcast address", "A,10.0.0.5,,x.y,\n", {2}},
        {"no usable address", "A,127.0.0.1,,,\n", {2}},
        {"names",
         ",10.0.0.5,,,\n" + strName128 + ",10.0.0.6,,,\n" + strName128 +
             "n,10.0.0.7,,,\n\"A\tB\",10.0.0.8,,,\n",
         {2, 4, 5}},
        {"group name", "A,10.0.0.5,,,ok;" + std::string(65, 'g') + "\n", {2}},
        {"duplicate rows",
         "A,10.0.0.5,,,\nB,10.0.0.5,,,\nC,,00-1b-21-3a-4c-10,,\nD,,00:1B:21:3A:4C:10,,\n",
         {3, 5}},
        {"MAC of a registered PC", "A,10.0.0.5,00-1B-21-3A-4C-EE,,\n", {2}},
        {"field count", "A,10.0.0.5,,\n", {2}},
        {"not UTF-8", "A\xFF,10.0.0.5,,,\n", {2}},
        {"line breaks inside quotes", "\"A\nB\",10.0.0.5,,,\nC,bad,,,\n", {2, 4}},
        {"unclosed quote", "A,10.0.0.5,,,\n\"B,10.0.0.6,,,\n", {3}},
        {"more than 254 PCs", strFull, {255}},
        {"more than 100 groups", strGroups, {101}},
    };
    for (const auto& c : cases) {
        WriteAll(Path("in.csv"), kHeader + c.strCsv);
        const Result result = Ctl({"import", Path("in.csv")});
        EXPECT_EQ(result.nExit, CCtl::ExitUsage) << c.pszCase;
        EXPECT_EQ(ProblemLines(result.strErr), c.lines) << c.pszCase << "\n" << result.strErr;
        EXPECT_EQ(ReadAll(Data()), strBefore) << c.pszCase;
    }
    for (const char* pszHeader : {"name,ip,mac,brodcast\n", "name,mac\n", "name,ip,mac,ip\n"}) {
        WriteAll(Path("in.csv"), std::string(pszHeader) + "A,10.0.0.5,,\n");
        const Result result = Ctl({"import", Path("in.csv")});
        EXPECT_EQ(result.nExit, CCtl::ExitUsage) << pszHeader;
        EXPECT_EQ(ProblemLines(result.strErr), std::set<int>{1}) << pszHeader;
    }
    EXPECT_EQ(ReadAll(Data()), strBefore);

    // A group the groups column cannot hold: left out of the export with a warning, and its
    // members kept by an import.
    WriteAll(Path("in.csv"), std::string(kHeader) + "A,10.0.0.5,,,\n");
    ASSERT_EQ(Ctl({"import", Path("in.csv")}).nExit, 0);
    EXPECT_NE(Ctl({"export"}).strErr.find("\"x;y\""), std::string::npos);
    EXPECT_NE(Ctl({"list", "x;y"}).strOut.find("HOST "), std::string::npos);
}

} // namespace
