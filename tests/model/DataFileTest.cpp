#include "ModelTestSupport.h"
#include "model/CDoc.h"

#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;
using vttest::Bytes;
using vttest::ByteWriter;

namespace {
const Bytes kHeader = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00};
const std::uint8_t kMac1[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

Bytes PcBody(std::int32_t id, const std::string& name, std::uint32_t ip, const std::uint8_t* mac,
             std::uint32_t bcast)
{
    return ByteWriter()
        .i32(id)
        .str(name)
        .u32(ip)
        .i32(1)
        .raw(Bytes(mac, mac + 6))
        .u32(bcast)
        .raw(vttest::kDefaultReserve)
        .raw(vttest::kDefaultReserve)
        .bytes();
}

Bytes GroupBody(const std::string& name, std::vector<std::int32_t> members)
{
    ByteWriter w;
    w.str(name).i32(static_cast<std::int32_t>(members.size()));
    for (std::int32_t id : members)
        w.i32(id);
    return w.raw(vttest::kDefaultReserve).raw(vttest::kDefaultReserve).bytes();
}

/// Two PCs and two groups, as the program writes them.
Bytes TwoAndTwo()
{
    const std::uint8_t mac2[6] = {0, 0, 0, 0, 0, 2};
    return ByteWriter()
        .raw(kHeader)
        .i32(2)
        .newClass("CKw")
        .raw(PcBody(0, "PC1", 0xC0A80114, kMac1, 0xC0A801FF))
        .raw({0x01, 0x80})
        .raw(PcBody(1, "PC2", 0xC0A80115, mac2, 0xFFFFFFFF))
        .i32(2)
        .newClass("CGroup")
        .raw(GroupBody("A", {1, 0}))
        .raw({0x04, 0x80})
        .raw(GroupBody("B", {}))
        .bytes();
}

void FillTwoAndTwo(CDoc& doc)
{
    const std::uint8_t mac2[6] = {0, 0, 0, 0, 0, 2};
    doc.AddPc("PC1", 0xC0A80114, kMac1, 0xC0A801FF);
    doc.AddPc("PC2", 0xC0A80115, mac2, 0xFFFFFFFF);
    CGroup* a = doc.AddGroup("A");
    doc.AddToGroup(a, 1);
    doc.AddToGroup(a, 0);
    doc.AddGroup("B");
}

/// Version-0 file: three PCs (the first two reserved), one group by addresses.
Bytes EarlierFile(std::int64_t reserveAt)
{
    const Bytes reserved = ByteWriter()
                               .i32(ReserveDaily)
                               .u32(0)
                               .u32(0)
                               .i32(static_cast<std::int32_t>(reserveAt))
                               .u16(OP_SHUTDOWN)
                               .u16(1)
                               .bytes();
    return ByteWriter()
        .i32(3)
        .newClass("CKw")
        .str("old0")
        .u32(0x0A000001)
        .i32(0)
        .raw(reserved)
        .raw({0x01, 0x80})
        .str("old1")
        .u32(0x0A000002)
        .i32(1)
        .raw(vttest::kDefaultReserveV0)
        .raw({0x01, 0x80})
        .str("old2")
        .u32(0x0A000003)
        .i32(1)
        .raw(vttest::kDefaultReserveV0)
        .i32(1)
        .newClass("CGroup") // index 5: class 1, PCs 2..4
        .str("grp")
        .i32(3)
        .u32(0x0A000003)
        .u32(0x0A0000EE)
        .u32(0x0A000001)
        .raw(reserved)
        .bytes();
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Entries(const QTemporaryDir& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path().toStdString()))
        names.push_back(e.path().filename().string());
    return names;
}

class DataFileAtFixedTime : public testing::Test {
protected:
    void SetUp() override
    {
        const std::int64_t now = vttest::LocalTime(2024, 3, 5, 21, 0);
        vtclock::SetClockForTesting([now] { return now; });
    }
    void TearDown() override { vtclock::SetClockForTesting({}); }
};
} // namespace

TEST(DataFileWrite, GoldenImages)
{
    CDoc empty;
    EXPECT_EQ(empty.SaveToBytes(), ByteWriter().raw(kHeader).i32(0).i32(0).bytes());

    CDoc one;
    one.AddPc("PC1", 0xC0A80114, kMac1, 0xC0A801FF);
    EXPECT_EQ(one.SaveToBytes(),
              ByteWriter()
                  .raw(kHeader)
                  .raw({0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x03, 0x00, 'C', 'K', 'w'})
                  .raw(PcBody(0, "PC1", 0xC0A80114, kMac1, 0xC0A801FF))
                  .i32(0)
                  .bytes());

    CDoc both;
    FillTwoAndTwo(both);
    EXPECT_EQ(both.SaveToBytes(), TwoAndTwo());

    CDoc groups;
    groups.AddGroup("A");
    groups.AddGroup("B");
    EXPECT_EQ(groups.SaveToBytes(), ByteWriter()
                                        .raw(kHeader)
                                        .i32(0)
                                        .raw({0x02, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x06, 0x00})
                                        .raw({'C', 'G', 'r', 'o', 'u', 'p'})
                                        .raw(GroupBody("A", {}))
                                        .raw({0x01, 0x80})
                                        .raw(GroupBody("B", {}))
                                        .bytes());
}

TEST(DataFileRead, GoldenImagesLoadBack)
{
    CDoc doc;
    int nNotified = 0;
    doc.m_fnModified = [&] { ++nNotified; };
    const Bytes file = TwoAndTwo();
    ASSERT_TRUE(doc.LoadFromBytes(file.data(), file.size()));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(nNotified, 0);
    EXPECT_EQ(doc.m_nFileVersion, 1);
    ASSERT_EQ(doc.m_pcs.size(), 2u);
    const CKw& pc1 = *doc.m_pcs.front();
    EXPECT_EQ(pc1.m_strName, "PC1");
    EXPECT_EQ(pc1.m_dwIp, 0xC0A80114u);
    EXPECT_EQ(pc1.m_dwBroadcast, 0xC0A801FFu);
    EXPECT_TRUE(std::equal(pc1.m_mac.begin(), pc1.m_mac.end(), kMac1));
    ASSERT_EQ(doc.m_groups.size(), 2u);
    EXPECT_EQ(doc.m_groups.front()->m_members, (std::vector<std::int32_t>{1, 0}));
    EXPECT_EQ(doc.SaveToBytes(), file);

    // Trailing bytes are not read; a first value of -5 is a marker like -1.
    Bytes tail = file;
    tail.insert(tail.end(), {1, 2, 3});
    EXPECT_TRUE(doc.LoadFromBytes(tail.data(), tail.size()));
    EXPECT_EQ(doc.m_groups.size(), 2u);
    const Bytes odd = ByteWriter().i32(-5).i32(1).i32(0).i32(0).bytes();
    EXPECT_TRUE(doc.LoadFromBytes(odd.data(), odd.size()));
    EXPECT_EQ(doc.m_nFileVersion, 1);
    EXPECT_TRUE(doc.m_pcs.empty());
    const Bytes negatives = ByteWriter().raw(kHeader).i32(-3).i32(INT32_MIN).bytes();
    EXPECT_TRUE(doc.LoadFromBytes(negatives.data(), negatives.size()));

    EXPECT_TRUE(doc.LoadFromBytes(nullptr, 0));
    EXPECT_TRUE(doc.m_pcs.empty());
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(DataFileAtFixedTime, DataFileEarlierVersion)
{
    CDoc doc;
    const Bytes file = EarlierFile(vttest::LocalTime(2024, 1, 1, 23, 30));
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
    const CKw& first = *doc.m_pcs.front();
    EXPECT_EQ(first.m_reserveOff.m_bSet, 1);
    EXPECT_EQ(first.m_reserveOff.m_wForce, 1);
    EXPECT_EQ(first.m_reserveOff.m_timeNext, vttest::LocalTime(2024, 3, 5, 23, 30));
    EXPECT_EQ(first.m_nStatus, 0);
    EXPECT_EQ(doc.m_pcs.back()->m_reserveOff.m_bSet, 0);

    ASSERT_EQ(doc.m_groups.size(), 1u);
    const CGroup& g = *doc.m_groups.front();
    EXPECT_EQ(g.m_strName, "grp");
    EXPECT_EQ(g.m_members, (std::vector<std::int32_t>{2, 0})); // 10.0.0.238 names no PC
    EXPECT_EQ(g.m_reserveOff.m_bSet, 1);
    EXPECT_EQ(g.m_reserveOn.m_bSet, 0);

    const Bytes saved = doc.SaveToBytes();
    ASSERT_GE(saved.size(), 8u);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 8), kHeader);
    CDoc again;
    ASSERT_TRUE(again.LoadFromBytes(saved.data(), saved.size()));
    EXPECT_EQ(again.m_nFileVersion, 1);
    EXPECT_EQ(again.SaveToBytes(), saved);
    EXPECT_EQ(again.m_groups.front()->m_reserveOff.m_timeNext, g.m_reserveOff.m_timeNext);
}

TEST(DataFileRead, EarlierVersionIdsSkipThoseAlreadyHeld)
{
    // Ids in a version-0 file are handed out one by one; the search ends at 255.
    CDoc doc;
    for (std::int32_t id = 0; id < 300; ++id) {
        doc.m_pcs.push_back(std::make_unique<CKw>());
        doc.m_pcs.back()->m_nId = id;
    }
    const Bytes body = ByteWriter().str("x").u32(1).i32(1).raw(vttest::kDefaultReserveV0).bytes();
    CArchive ar(body.data(), body.size(), &doc);
    doc.m_nFileVersion = 0;
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
        EXPECT_TRUE(doc.m_pcs.empty());
        EXPECT_TRUE(doc.m_groups.empty());
        EXPECT_FALSE(doc.IsModified());
    }

    const std::size_t pc2Tag = kHeader.size() + 4 + 9 + PcBody(0, "PC1", 0, kMac1, 0).size();
    ASSERT_EQ(good[pc2Tag], 0x01);
    ASSERT_EQ(good[pc2Tag + 1], 0x80);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    {
        Bytes b = good;
        b[kHeader.size() + 4 + 2] = 2; // schema of CKw
        cases.push_back({"wrong schema", b});
    }
    {
        Bytes b = good;
        b[pc2Tag] = 0x05;
        cases.push_back({"unknown class index", b});
    }
    {
        Bytes b = good;
        b[pc2Tag] = 0x02;
        b[pc2Tag + 1] = 0x00;
        cases.push_back({"reference to an object already read", b});
    }
    {
        Bytes b = good;
        b[pc2Tag] = 0x00;
        b[pc2Tag + 1] = 0x00;
        cases.push_back({"null object", b});
    }
    cases.push_back(
        {"group where a PC is expected",
         ByteWriter().raw(kHeader).i32(1).newClass("CGroup").raw(GroupBody("A", {})).i32(0).bytes()});
    cases.push_back({"PC where a group is expected", ByteWriter()
                                                         .raw(kHeader)
                                                         .i32(1)
                                                         .newClass("CKw")
                                                         .raw(PcBody(0, "P", 1, kMac1, 2))
                                                         .i32(1)
                                                         .raw({0x01, 0x80})
                                                         .raw(PcBody(1, "Q", 1, kMac1, 2))
                                                         .bytes()});
    cases.push_back({"huge PC count", ByteWriter().raw(kHeader).i32(0x7FFFFFFF).newClass("CKw").bytes()});
    cases.push_back(
        {"huge earlier-layout count", ByteWriter().i32(0x7FFFFFFF).newClass("CKw").i32(0).bytes()});
    cases.push_back(
        {"huge group count", ByteWriter().raw(kHeader).i32(0).i32(0x7FFFFFFF).newClass("CGroup").bytes()});
    cases.push_back({"huge member count", ByteWriter()
                                              .raw(kHeader)
                                              .i32(0)
                                              .i32(1)
                                              .newClass("CGroup")
                                              .str("A")
                                              .i32(0x7FFFFFFF)
                                              .raw(vttest::kDefaultReserve)
                                              .raw(vttest::kDefaultReserve)
                                              .bytes()});
    cases.push_back(
        {"long class name", ByteWriter().raw(kHeader).i32(1).u16(0xFFFF).u16(1).u16(0x4000).bytes()});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDoc doc;
        doc.AddGroup("before");
        EXPECT_FALSE(doc.LoadFromBytes(c.bytes.data(), c.bytes.size()));
        EXPECT_TRUE(doc.m_pcs.empty());
        EXPECT_TRUE(doc.m_groups.empty());
    }
}

TEST(DataFileOpen, FromDisk)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string base = dir.path().toStdString();
    CDoc doc;
    doc.AddPc("stale", 1, kMac1, 2);

    WriteFile(base + "/empty.DAT", {});
    EXPECT_TRUE(doc.OnOpenDocument(base + "/empty.DAT"));
    EXPECT_TRUE(doc.m_pcs.empty());
    EXPECT_FALSE(doc.IsModified());

    WriteFile(base + "/good.DAT", TwoAndTwo());
    EXPECT_TRUE(doc.OnOpenDocument(base + "/good.DAT"));
    EXPECT_EQ(doc.m_pcs.size(), 2u);
    EXPECT_FALSE(doc.IsModified());

    WriteFile(base + "/bad.DAT", {0xFF, 0xFF, 0xFF, 0xFF, 1});
    EXPECT_FALSE(doc.OnOpenDocument(base + "/bad.DAT"));
    EXPECT_TRUE(doc.m_pcs.empty());
    EXPECT_TRUE(doc.m_groups.empty());

    doc.AddPc("stale", 1, kMac1, 2);
    EXPECT_FALSE(doc.OnOpenDocument(base + "/missing.DAT"));
    EXPECT_TRUE(doc.m_pcs.empty());
    EXPECT_FALSE(doc.OnOpenDocument(base));
}

TEST(DataFileSave, SavedReplacesTheFileWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/vtserver.DAT";
    const std::string link = dir.path().toStdString() + "/old-link";
    WriteFile(path, {1, 2, 3});
    fs::create_hard_link(path, link);

    CDoc doc;
    doc.SetPathName(path);
    EXPECT_EQ(doc.SaveModified(), SaveResult::Saved); // nothing pending: not written
    EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));

    FillTwoAndTwo(doc);
    ASSERT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.SaveModified(), SaveResult::Saved);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(ReadFile(path), TwoAndTwo());
    // The old file was renamed over, not rewritten in place, and nothing is left over.
    EXPECT_EQ(ReadFile(link), (Bytes{1, 2, 3}));
    auto names = Entries(dir);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"old-link", "vtserver.DAT"}));

    CDoc fresh;
    fresh.SetPathName(dir.path().toStdString() + "/new.DAT");
    fresh.SetModifiedFlag();
    EXPECT_EQ(fresh.DoFileSave(), SaveResult::Saved);
    EXPECT_EQ(ReadFile(dir.path().toStdString() + "/new.DAT").size(), 16u);
}

TEST(DataFileSave, DirectoryAndReadOnlyFileAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CDoc doc;
    doc.AddGroup("g");
    doc.SetPathName(dir.path().toStdString());
    EXPECT_EQ(doc.SaveModified(), SaveResult::Refused);
    EXPECT_FALSE(doc.IsModified());

    const std::string path = dir.path().toStdString() + "/ro.DAT";
    WriteFile(path, {9, 9});
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    doc.SetPathName(path);
    doc.SetModifiedFlag();
    EXPECT_EQ(doc.SaveModified(), SaveResult::Refused);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(ReadFile(path), (Bytes{9, 9}));
    EXPECT_EQ(Entries(dir).size(), 1u);
}

TEST(DataFileSave, FailureKeepsTheOldFileAndTheFlag)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CDoc doc;
    doc.AddGroup("g");
    doc.SetPathName(dir.path().toStdString() + "/missing/x.DAT");
    EXPECT_EQ(doc.SaveModified(), SaveResult::Failed);
    EXPECT_TRUE(doc.IsModified());
    doc.SetPathName("");
    EXPECT_EQ(doc.SaveModified(), SaveResult::Failed);

    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into any folder";
    const std::string sub = dir.path().toStdString() + "/locked";
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
    EXPECT_EQ(DataFilePathFor("/a/b/prog.tar.gz"), "/a/b/prog.tar.DAT");
}
