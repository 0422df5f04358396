#include "ModelTestSupport.h"
#include "model/CDoc.h"

#include <QtCore/QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vttest;

namespace {
const Bytes kHeader = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00};
const std::uint8_t kMac1[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const std::uint8_t kMac2[6] = {0, 0, 0, 0, 0, 2};

Bytes PcBody(std::int32_t id, const std::string& name, std::uint32_t ip, const std::uint8_t* mac)
{
    return Cat({I32(id), Str(name), U32(ip), I32(1), Bytes(mac, mac + 6), U32(0xC0A801FF), kDefaultReserve,
                kDefaultReserve});
}

Bytes GroupBody(const std::string& name, std::int32_t count = 0, const Bytes& ids = {})
{
    return Cat({Str(name), I32(count), ids, kDefaultReserve, kDefaultReserve});
}

/// Two PCs and two groups, as the program writes them.
Bytes TwoAndTwo()
{
    return Cat({kHeader,
                I32(2),
                NewClass("CKw"),
                PcBody(0, "PC1", 0xC0A80114, kMac1),
                {0x01, 0x80},
                PcBody(1, "PC2", 0xC0A80115, kMac2),
                I32(2),
                NewClass("CGroup"),
                GroupBody("A", 2, Cat({I32(1), I32(0)})),
                {0x04, 0x80},
                GroupBody("B")});
}

void FillTwoAndTwo(CDoc& doc)
{
    doc.AddPc("PC1", 0xC0A80114, kMac1, 0xC0A801FF);
    doc.AddPc("PC2", 0xC0A80115, kMac2, 0xC0A801FF);
    CGroup* a = doc.AddGroup("A");
    doc.AddToGroup(a, 1);
    doc.AddToGroup(a, 0);
    doc.AddGroup("B");
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t EntryCount(const std::string& dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

struct TempDir {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString();
};
} // namespace

TEST(DataFileWrite, GoldenImages)
{
    CDoc doc;
    EXPECT_EQ(doc.SaveToBytes(), Cat({kHeader, I32(0), I32(0)}));
    doc.AddPc("PC1", 0xC0A80114, kMac1, 0xC0A801FF);
    EXPECT_EQ(doc.SaveToBytes(), Cat({kHeader,
                                      {1, 0, 0, 0, 0xFF, 0xFF, 1, 0, 3, 0, 'C', 'K', 'w'},
                                      PcBody(0, "PC1", 0xC0A80114, kMac1),
                                      I32(0)}));

    CDoc both;
    FillTwoAndTwo(both);
    EXPECT_EQ(both.SaveToBytes(), TwoAndTwo());

    CDoc groups;
    groups.AddGroup("A");
    groups.AddGroup("B");
    EXPECT_EQ(groups.SaveToBytes(),
              Cat({kHeader,
                   {0, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 1, 0, 6, 0, 'C', 'G', 'r', 'o', 'u', 'p'},
                   GroupBody("A"),
                   {0x01, 0x80},
                   GroupBody("B")}));
}

TEST_F(AtFixedTime, DataFileRoundTripKeepsEveryField)
{
    CDoc doc;
    FillTwoAndTwo(doc);
    CKw& pc = *doc.m_pcs.front();
    pc.m_strName = std::string(300, 'n');
    pc.m_nStatus = 0;
    pc.m_reserveOff.Set(1, ReserveWeekly, 0, 0x22, LocalTime(2024, 3, 1, 22, 30), OP_SHUTDOWN, 1);
    pc.m_reserveOn.Set(1, ReserveMonthly, 0x10001, 0, LocalTime(2024, 3, 1, 7, 15), OP_WAKEUP, 0);
    doc.m_groups.back()->m_reserveOn.Set(0, ReserveNone, 3, 4, 5, 6, 7);
    const Bytes saved = doc.SaveToBytes();

    CDoc back;
    int nNotified = 0;
    back.m_fnModified = [&] { ++nNotified; };
    ASSERT_TRUE(back.LoadFromBytes(saved.data(), saved.size()));
    EXPECT_EQ(back.SaveToBytes(), saved); // every stored field came back
    EXPECT_FALSE(back.IsModified());
    EXPECT_EQ(nNotified, 0);
    const CKw& got = *back.m_pcs.front();
    EXPECT_EQ(got.m_strName, pc.m_strName);
    EXPECT_EQ(got.m_mac, pc.m_mac);
    EXPECT_EQ(got.m_dwBroadcast, 0xC0A801FFu);
    EXPECT_EQ(got.m_nStatus, 0);
    EXPECT_EQ(got.m_reserveOff.m_timeNext, pc.m_reserveOff.m_timeNext);
    EXPECT_EQ(got.m_reserveOn.m_timeNext, pc.m_reserveOn.m_timeNext);
    EXPECT_EQ(back.m_groups.front()->m_members, (std::vector<std::int32_t>{1, 0}));
}

TEST(DataFileRead, HeaderForms)
{
    CDoc doc;
    Bytes tail = Cat({TwoAndTwo(), {1, 2, 3}}); // trailing bytes are not read
    EXPECT_TRUE(doc.LoadFromBytes(tail.data(), tail.size()));
    EXPECT_EQ(doc.m_groups.size(), 2u);
    const Bytes odd = Cat({I32(-5), I32(1), I32(-3), I32(INT32_MIN)});
    EXPECT_TRUE(doc.LoadFromBytes(odd.data(), odd.size()));
    EXPECT_EQ(doc.m_nFileVersion, 1);
    EXPECT_TRUE(doc.m_pcs.empty() && doc.m_groups.empty());
    EXPECT_TRUE(doc.LoadFromBytes(nullptr, 0));
}

TEST_F(AtFixedTime, DataFileEarlierVersion)
{
    const Bytes reserved =
        Cat({I32(ReserveDaily), U32(0), U32(0), I32(static_cast<std::int32_t>(LocalTime(2024, 1, 1, 23, 30))),
             U16(OP_SHUTDOWN), U16(1)});
    const Bytes file = Cat({I32(3),
                            NewClass("CKw"),
                            Str("old0"),
                            U32(0x0A000001),
                            I32(0),
                            reserved,
                            {0x01, 0x80},
                            Str("old1"),
                            U32(0x0A000002),
                            I32(1),
                            kDefaultReserveV0,
                            {0x01, 0x80},
                            Str("old2"),
                            U32(0x0A000003),
                            I32(1),
                            kDefaultReserveV0,
                            I32(1),
                            NewClass("CGroup"),
                            Str("grp"),
                            I32(3),
                            U32(0x0A000003),
                            U32(0x0A0000EE),
                            U32(0x0A000001),
                            reserved});
    CDoc doc;
    ASSERT_TRUE(doc.LoadFromBytes(file.data(), file.size()));
    EXPECT_EQ(doc.m_nFileVersion, 0);
    std::vector<std::int32_t> ids;
    for (const auto& p : doc.m_pcs) {
        ids.push_back(p->m_nId);
        EXPECT_EQ(p->m_mac, MacAddress{});
        EXPECT_EQ(p->m_dwBroadcast, 0xFFFFFFFFu);
        EXPECT_EQ(p->m_reserveOn.m_bSet, 0);
    }
    EXPECT_EQ(ids, (std::vector<std::int32_t>{0, 1, 2}));
    EXPECT_EQ(doc.m_pcs.front()->m_reserveOff.m_bSet, 1);
    EXPECT_EQ(doc.m_pcs.front()->m_reserveOff.m_timeNext, LocalTime(2024, 3, 5, 23, 30));
    EXPECT_EQ(doc.m_pcs.back()->m_reserveOff.m_bSet, 0);
    const CGroup& g = *doc.m_groups.front();
    EXPECT_EQ(g.m_members, (std::vector<std::int32_t>{2, 0})); // 10.0.0.238 names no PC
    EXPECT_EQ(g.m_reserveOff.m_bSet, 1);
    EXPECT_EQ(g.m_reserveOn.m_bSet, 0);

    const Bytes saved = doc.SaveToBytes();
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 8), kHeader);
    CDoc again;
    ASSERT_TRUE(again.LoadFromBytes(saved.data(), saved.size()));
    EXPECT_EQ(again.SaveToBytes(), saved);

    // The id search of the earlier layout stops at 255.
    for (std::int32_t id = 3; id < 300; ++id) {
        doc.m_pcs.push_back(std::make_unique<CKw>());
        doc.m_pcs.back()->m_nId = id;
    }
    const Bytes body = Cat({Str("x"), U32(1), I32(1), kDefaultReserveV0});
    CArchive ar(body.data(), body.size(), &doc);
    CKw pc;
    pc.Serialize(ar);
    EXPECT_EQ(pc.m_nId, 255);
}

TEST(DataFileRead, DamagedInputFailsCleanly)
{
    const Bytes good = TwoAndTwo();
    for (std::size_t n = 1; n < good.size(); ++n) {
        CDoc doc;
        doc.AddPc("before", 1, kMac1, 2);
        EXPECT_FALSE(doc.LoadFromBytes(good.data(), n)) << "prefix " << n;
        EXPECT_TRUE(doc.m_pcs.empty() && doc.m_groups.empty());
        EXPECT_FALSE(doc.IsModified());
    }

    const std::size_t pc2Tag = 8 + 4 + 9 + PcBody(0, "PC1", 0, kMac1).size();
    const auto patched = [&](std::size_t at, std::initializer_list<std::uint8_t> b) {
        Bytes out = good;
        std::copy(b.begin(), b.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        return out;
    };
    const std::pair<const char*, Bytes> cases[] = {
        {"wrong schema", patched(14, {2})},
        {"unknown class index", patched(pc2Tag, {0x05, 0x80})},
        {"object already read", patched(pc2Tag, {0x02, 0x00})},
        {"null object", patched(pc2Tag, {0x00, 0x00})},
        {"group for a PC", Cat({kHeader, I32(1), NewClass("CGroup"), GroupBody("A"), I32(0)})},
        {"PC for a group", Cat({kHeader,
                                I32(1),
                                NewClass("CKw"),
                                PcBody(0, "P", 1, kMac1),
                                I32(1),
                                {0x01, 0x80},
                                PcBody(1, "Q", 1, kMac1)})},
        {"huge PC count", Cat({kHeader, I32(0x7FFFFFFF), NewClass("CKw")})},
        {"huge earlier count", Cat({I32(0x7FFFFFFF), NewClass("CKw"), I32(0)})},
        {"huge group count", Cat({kHeader, I32(0), I32(0x7FFFFFFF), NewClass("CGroup")})},
        {"huge member count", Cat({kHeader, I32(0), I32(1), NewClass("CGroup"), GroupBody("A", 0x7FFFFFFF)})},
        {"long class name", Cat({kHeader, I32(1), U16(0xFFFF), U16(1), U16(0x4000)})},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        CDoc doc;
        doc.AddGroup("before");
        EXPECT_FALSE(doc.LoadFromBytes(bytes.data(), bytes.size()));
        EXPECT_TRUE(doc.m_pcs.empty() && doc.m_groups.empty());
    }
}

TEST(DataFileOpen, FromDisk)
{
    TempDir tmp;
    CDoc doc;
    doc.AddPc("stale", 1, kMac1, 2);
    WriteFile(tmp.path + "/empty.DAT", {});
    EXPECT_TRUE(doc.OnOpenDocument(tmp.path + "/empty.DAT"));
    EXPECT_TRUE(doc.m_pcs.empty());
    EXPECT_FALSE(doc.IsModified());

    WriteFile(tmp.path + "/good.DAT", TwoAndTwo());
    EXPECT_TRUE(doc.OnOpenDocument(tmp.path + "/good.DAT"));
    EXPECT_EQ(doc.m_pcs.size(), 2u);

    WriteFile(tmp.path + "/bad.DAT", {0xFF, 0xFF, 0xFF, 0xFF, 1});
    EXPECT_FALSE(doc.OnOpenDocument(tmp.path + "/bad.DAT"));
    EXPECT_TRUE(doc.m_pcs.empty() && doc.m_groups.empty());
    EXPECT_FALSE(doc.OnOpenDocument(tmp.path + "/missing.DAT"));
    EXPECT_FALSE(doc.OnOpenDocument(tmp.path));
}

TEST(DataFileSave, SavedReplacesTheFileWhole)
{
    TempDir tmp;
    const std::string path = tmp.path + "/vtserver.DAT";
    WriteFile(path, {1, 2, 3});
    fs::create_hard_link(path, tmp.path + "/old-link");

    CDoc doc;
    doc.SetPathName(path);
    EXPECT_EQ(doc.SaveModified(), SaveResult::Saved); // nothing pending: not written
    EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));
    FillTwoAndTwo(doc);
    EXPECT_EQ(doc.SaveModified(), SaveResult::Saved);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(ReadFile(path), TwoAndTwo());
    // Renamed over, not rewritten in place; no temporary file left.
    EXPECT_EQ(ReadFile(tmp.path + "/old-link"), (Bytes{1, 2, 3}));
    EXPECT_EQ(EntryCount(tmp.path), 2u);
}

TEST(DataFileSave, DirectoryAndReadOnlyFileAreRefused)
{
    TempDir tmp;
    CDoc doc;
    doc.AddGroup("g");
    doc.SetPathName(tmp.path);
    EXPECT_EQ(doc.SaveModified(), SaveResult::Refused);
    EXPECT_FALSE(doc.IsModified());

    const std::string path = tmp.path + "/ro.DAT";
    WriteFile(path, {9, 9});
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    doc.SetPathName(path);
    doc.SetModifiedFlag();
    EXPECT_EQ(doc.SaveModified(), SaveResult::Refused);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(ReadFile(path), (Bytes{9, 9}));
    EXPECT_EQ(EntryCount(tmp.path), 1u);
}

TEST(DataFileSave, FailureKeepsTheOldFileAndTheFlag)
{
    TempDir tmp;
    CDoc doc;
    doc.AddGroup("g");
    doc.SetPathName(tmp.path + "/missing/x.DAT");
    EXPECT_EQ(doc.SaveModified(), SaveResult::Failed);
    EXPECT_TRUE(doc.IsModified());

    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into any folder";
    const std::string sub = tmp.path + "/locked";
    fs::create_directory(sub);
    WriteFile(sub + "/x.DAT", {7});
    fs::permissions(sub, fs::perms::owner_read | fs::perms::owner_exec);
    doc.SetPathName(sub + "/x.DAT");
    EXPECT_EQ(doc.SaveModified(), SaveResult::Failed);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(ReadFile(sub + "/x.DAT"), (Bytes{7}));
    fs::permissions(sub, fs::perms::owner_all);
}

TEST(DataFilePath, BesideTheExecutable)
{
    EXPECT_EQ(DataFilePathFor("/opt/x/vtserver"), "/opt/x/vtserver.DAT");
    EXPECT_EQ(DataFilePathFor("/a/b/prog.exe"), "/a/b/prog.DAT");
    EXPECT_EQ(DataFilePathFor("/a/b.d/prog"), "/a/b.d/prog.DAT");
}
