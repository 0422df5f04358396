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

TEST_F(ImportTest, ExportImportExportGivesTheSameCsvAndAFileTheProgramLoads)
{
    CDoc doc;
    const auto m1 = Mac(1), m3 = Mac(3);
    CKw* p1 = doc.AddPc("PC-001", Ip(10, 0, 0, 1), m1.data(), 0xFFFFFFFFu);
    CKw* p2 = doc.AddPc("Room, 2 \"east\"", Ip(10, 0, 0, 2), nullptr, Ip(10, 0, 0, 255));
    CKw* p3 = doc.AddPc("端末３", 0xFFFFFFFFu, m3.data(), Ip(192, 168, 1, 255));
    CKw* p4 = doc.AddPc(" padded ", Ip(10, 0, 0, 4), nullptr, 0xFFFFFFFFu);
    // Created A, B, C, but the first PC met lists only B: the import must still put A first.
    CGroup* a = doc.AddGroup("A");
    CGroup* b = doc.AddGroup("B");
    CGroup* c = doc.AddGroup("Lab 3");
    const std::pair<CGroup*, CKw*> memberships[] = {{b, p1}, {a, p2}, {b, p2}, {c, p3}, {a, p4}, {c, p4}};
    for (const auto& [pGroup, pPc] : memberships)
        doc.AddToGroup(pGroup, pPc->m_nId);
    Save(doc, Path("original.DAT"));

    ASSERT_EQ(Ctl({"export", Path("roster.csv")}, Path("original.DAT")).nExit, 0);
    const std::string strCsv = ReadAll(Path("roster.csv"));
    EXPECT_EQ(strCsv, std::string(kHeader) + "PC-001,10.0.0.1,00-1B-21-3A-4C-01,255.255.255.255,B\n"
                                             "\"Room, 2 \"\"east\"\"\",10.0.0.2,,10.0.0.255,A;B\n"
                                             "端末３,,00-1B-21-3A-4C-03,192.168.1.255,Lab 3\n"
                                             "\" padded \",10.0.0.4,,255.255.255.255,A;Lab 3\n");
    const Result imported = Ctl({"import", Path("roster.csv")});
    ASSERT_EQ(imported.nExit, 0) << imported.strErr;
    EXPECT_EQ(Ctl({"export"}).strOut, strCsv);
    CDoc loaded;
    ASSERT_TRUE(loaded.OnOpenDocument(Data()));
    const std::vector<std::uint8_t> resaved = loaded.SaveToBytes();
    const std::string strBefore = ReadAll(Data());
    EXPECT_EQ(strBefore, std::string(resaved.begin(), resaved.end()));

    // The same file once more changes nothing and leaves the file alone.
    const Result again = Ctl({"import", Path("roster.csv")});
    EXPECT_EQ(again.nExit, 0);
    EXPECT_EQ(again.strOut, "Nothing to change.\n");
    EXPECT_EQ(ReadAll(Data()), strBefore);
}

TEST_F(ImportTest, RowsUpdateThePcAtTheirAddressAndDryRunWritesNothing)
{
    CDoc doc;
    const auto m1 = Mac(1), m2 = Mac(2);
    CKw* pA = doc.AddPc("PC-A", Ip(10, 0, 0, 1), m1.data(), 0xFFFFFFFFu);
    doc.AddPc("PC-B", 0xFFFFFFFFu, m2.data(), 0xFFFFFFFFu);
    doc.AddToGroup(doc.AddGroup("G"), pA->m_nId);
    doc.AddToGroup(doc.AddGroup("x;y"), pA->m_nId);
    Save(doc);
    const std::string strBefore = ReadAll(Data());

    WriteAll(Path("in.csv"), "groups,Name,mac,ip\n"
                             "G;H,NEW-A,,10.0.0.1\n"
                             "G,PC-B2,00:1b:21:3a:4c:02,\n"
                             ",PC-C,aa-bb-cc-dd-ee-ff,10.0.0.3\n");
    const std::string strChanges = "new group \"H\"\n"
                                   "update 10.0.0.1: name \"PC-A\" -> \"NEW-A\"\n"
                                   "add NEW-A to group \"H\"\n"
                                   "update 00-1B-21-3A-4C-02: name \"PC-B\" -> \"PC-B2\"\n"
                                   "add PC-B2 to group \"G\"\n"
                                   "add PC-C (10.0.0.3)\n"
                                   "1 PCs added, 2 updated, 1 groups created, 2 memberships added.\n";
    const Result dry = Ctl({"import", "--dry-run", Path("in.csv")});
    EXPECT_EQ(dry.nExit, 0);
    EXPECT_EQ(dry.strOut, strChanges + "Dry run: the data file was not changed.\n");
    EXPECT_EQ(ReadAll(Data()), strBefore);

    const Result done = Ctl({"import", Path("in.csv")});
    EXPECT_EQ(done.nExit, 0) << done.strErr;
    EXPECT_EQ(done.strOut, strChanges);
    // An empty mac cell keeps the known MAC, a missing broadcast is the default; nothing
    // is removed, memberships of groups the column cannot hold included.
    const Result exported = Ctl({"export"});
    EXPECT_EQ(exported.strOut, std::string(kHeader) + "NEW-A,10.0.0.1,00-1B-21-3A-4C-01,255.255.255.255,G;H\n"
                                                      "PC-B2,,00-1B-21-3A-4C-02,255.255.255.255,G\n"
                                                      "PC-C,10.0.0.3,AA-BB-CC-DD-EE-FF,255.255.255.255,\n");
    EXPECT_NE(exported.strErr.find("\"x;y\""), std::string::npos) << exported.strErr;
    EXPECT_NE(Ctl({"list", "x;y"}).strOut.find("NEW-A "), std::string::npos);
}

TEST_F(ImportTest, EveryProblemIsReportedByLineAndTheDataFileStaysByteForByte)
{
    CDoc doc;
    const auto host = Mac(0xEE);
    doc.AddPc("HOST", Ip(10, 0, 0, 1), host.data(), 0xFFFFFFFFu);
    Save(doc);
    const std::string strBefore = ReadAll(Data());

    std::string strFull, strGroups;
    for (int i = 0; i < 254; ++i)
        strFull += "P" + std::to_string(i) + ",10.1." + std::to_string(i / 200) + "." +
                   std::to_string(i % 200 + 1) + ",,,\n";
    for (int i = 0; i < 101; ++i)
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
        {"more than 100 groups", strGroups, {102}},
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
}

} // namespace
