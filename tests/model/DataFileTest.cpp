#include "ModelTestSupport.h"

#include <QtCore/QTemporaryDir>

#include <climits>
#include <filesystem>
#include <iterator>

namespace fs = std::filesystem;
using namespace vttest;

namespace {
const std::uint8_t kMac1[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const std::uint8_t kMac2[6] = {0, 0, 0, 0, 0, 2};

Bytes PcBody(std::int32_t id, const std::string& name, std::uint32_t ip, const std::uint8_t* mac)
{
    return Cat({Le(id), Str(name), Le(ip), Le(1), Bytes(mac, mac + 6), Le(0xC0A801FF), kDefaultReserve,
                kDefaultReserve});
}

Bytes GroupBody(const std::string& name, std::int32_t count = 0, const Bytes& ids = {})
{
    return Cat({Str(name), Le(count), ids, kDefaultReserve, kDefaultReserve});
}

/// Two PCs and two groups, as the program writes them; the tags 01 80 and 04 80 name the classes.
Bytes TwoAndTwo()
{
    return Cat({kHeader, Le(2), NewClass("CKw"), PcBody(0, "PC1", 0xC0A80114, kMac1), Le(0x8001, 2),
                PcBody(1, "PC2", 0xC0A80115, kMac2), Le(2), NewClass("CGroup"),
                GroupBody("A", 2, Cat({Le(1), Le(0)})), Le(0x8004, 2), GroupBody("B")});
}

void Load(CDoc& doc, const Bytes& bytes)
{
    ASSERT_TRUE(doc.LoadFromBytes(bytes.data(), bytes.size()));
}

} // namespace

TEST(ArchiveStrings, CountedFormsAndRefusals)
{
    const std::pair<std::size_t, Bytes> forms[] = {{254, {0xFE}},
                                                   {255, {0xFF, 0xFF, 0x00}},
                                                   {65533, {0xFF, 0xFD, 0xFF}},
                                                   {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}}};
    for (const auto& [len, prefix] : forms) {
        const std::string s(len, 'x');
        Bytes out;
        CArchive(out).WriteString(s);
        EXPECT_EQ(out, Cat({prefix, Bytes(s.begin(), s.end())})) << len;
        CArchive r(out.data(), out.size(), nullptr);
        EXPECT_EQ(r.ReadString(), s);
        EXPECT_EQ(r.Remaining(), 0u);
    }
    // Shorter than the length they announce (up to 4 GB), and the wide-character marker.
    for (const Bytes& b :
         {Bytes{0x03, 'a', 'b'}, Bytes{0xFF, 0x2C, 0x01, 'a'},
          Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, Bytes{0xFF, 0xFE, 0xFF, 0x01, 'a'}}) {
        CArchive r(b.data(), b.size(), nullptr);
        EXPECT_THROW(r.ReadString(), CArchiveException);
    }
}

// The file holds 32-bit times: later ones move back by whole 28-year calendar cycles, so
// weekday and local time of day stay.
TEST(ArchiveTime, LateTimesKeepTheirLocalTimeOfDay)
{
    for (const auto& [t, year] :
         {std::pair{std::int64_t{INT32_MAX}, 2038}, std::pair{Local(2038, 6, 15, 22, 45), 2010},
          std::pair{Local(2090, 12, 24, 7, 5), 2034}}) {
        Bytes out;
        CArchive(out).WriteTime(t);
        CArchive r(out.data(), out.size(), nullptr);
        const QDateTime a = QDateTime::fromSecsSinceEpoch(t), b = QDateTime::fromSecsSinceEpoch(r.ReadTime());
        EXPECT_EQ(a.secsTo(b) % (10227 * 86400), 0);
        EXPECT_EQ(std::make_pair(a.time(), a.date().dayOfWeek()),
                  std::make_pair(b.time(), b.date().dayOfWeek()));
        EXPECT_EQ(b.date().year(), year) << t;
    }
}

TEST(DataFileWrite, GoldenImages)
{
    CDoc doc;
    EXPECT_EQ(doc.SaveToBytes(), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CGroup* a = doc.AddGroup("A");
    doc.AddGroup("B");
    const Bytes classGroup = {0, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 1, 0, 6, 0, 'C', 'G', 'r', 'o', 'u', 'p'};
    EXPECT_EQ(doc.SaveToBytes(), Cat({kHeader, classGroup, GroupBody("A"), Le(0x8001, 2), GroupBody("B")}));
    doc.DeleteContents();
    doc.AddPc("PC1", 0xC0A80114, kMac1, 0xC0A801FF);
    const Bytes classKw = {1, 0, 0, 0, 0xFF, 0xFF, 1, 0, 3, 0, 'C', 'K', 'w'};
    EXPECT_EQ(doc.SaveToBytes(), Cat({kHeader, classKw, PcBody(0, "PC1", 0xC0A80114, kMac1), Le(0)}));
    doc.AddPc("PC2", 0xC0A80115, kMac2, 0xC0A801FF);
    a = doc.AddGroup("A");
    doc.AddToGroup(a, 1);
    doc.AddToGroup(a, 0);
    doc.AddGroup("B");
    EXPECT_EQ(doc.SaveToBytes(), TwoAndTwo());
}

TEST_F(ClockTest, DataFileRoundTripKeepsEveryField)
{
    CDoc doc;
    Load(doc, TwoAndTwo());
    CKw& pc = *doc.m_pcs.front();
    pc.m_strName = std::string(300, 'n');
    pc.m_nStatus = 0;
    pc.m_reserveOff.Set(1, ReserveWeekly, 0, 0x22, Local(2024, 3, 1, 22, 30), OP_SHUTDOWN, 1);
    pc.m_reserveOn.Set(1, ReserveMonthly, 0x10001, 0, Local(2024, 3, 1, 7, 15), OP_WAKEUP, 0);
    doc.m_groups.back()->m_reserveOn.Set(0, ReserveNone, 3, 4, 5, 6, 7);
    const Bytes saved = doc.SaveToBytes();

    CDoc back;
    int nNotified = 0;
    back.m_fnModified = [&] { ++nNotified; };
    Load(back, saved);
    EXPECT_EQ(back.SaveToBytes(), saved); // every stored field came back in its place
    EXPECT_FALSE(back.IsModified());
    EXPECT_EQ(nNotified, 0);
    EXPECT_EQ(back.m_pcs.front()->m_reserveOff.m_timeNext, pc.m_reserveOff.m_timeNext);
    EXPECT_EQ(back.m_pcs.front()->m_reserveOn.m_timeNext, pc.m_reserveOn.m_timeNext);
}

// The earlier layout: no header, ids, MAC or broadcast; one reservation; members by address.
TEST_F(ClockTest, DataFileEarlierVersion)
{
    const Bytes reserved =
        Cat({Le(ReserveDaily), Le(0), Le(0), Le(Local(2024, 1, 1, 23, 30)), Le(OP_SHUTDOWN, 2), Le(1, 2)});
    const Bytes released(kDefaultReserve.begin() + 4, kDefaultReserve.end());
    const auto oldPc = [](const char* name, std::uint32_t ip, int status, const Bytes& off) {
        return Cat({Str(name), Le(ip), Le(status), off});
    };
    CDoc doc;
    Load(doc, Cat({Le(3), NewClass("CKw"), oldPc("old0", 0x0A000001, 0, reserved), Le(0x8001, 2),
                   oldPc("old1", 0x0A000002, 1, released), Le(0x8001, 2),
                   oldPc("old2", 0x0A000003, 1, released), Le(1), NewClass("CGroup"), Str("grp"), Le(3),
                   Le(0x0A000003), Le(0x0A0000EE), Le(0x0A000001), reserved}));
    EXPECT_EQ(doc.m_nFileVersion, 0);
    EXPECT_EQ(doc.m_pcs.front()->m_reserveOff.m_timeNext, Local(2024, 3, 5, 23, 30));

    // Saved in the current layout: ids 0, 1, 2, the set flag taken from the time, members
    // by id (10.0.0.238 names no PC).
    const Bytes set = Cat({Le(1), reserved});
    const auto newPc = [](int id, const char* name, std::uint32_t ip, int status, const Bytes& off) {
        return Cat({Le(id), Str(name), Le(ip), Le(status), Bytes(6, 0), Le(-1), off, kDefaultReserve});
    };
    EXPECT_EQ(doc.SaveToBytes(),
              Cat({kHeader, Le(3), NewClass("CKw"), newPc(0, "old0", 0x0A000001, 0, set), Le(0x8001, 2),
                   newPc(1, "old1", 0x0A000002, 1, kDefaultReserve), Le(0x8001, 2),
                   newPc(2, "old2", 0x0A000003, 1, kDefaultReserve), Le(1), NewClass("CGroup"), Str("grp"),
                   Le(2), Le(2), Le(0), set, kDefaultReserve}));
}

TEST(DataFileRead, DamagedInputFailsCleanly)
{
    const Bytes good = TwoAndTwo();
    const std::size_t pc2Tag = 21 + PcBody(0, "PC1", 0, kMac1).size();
    const auto patched = [&](std::size_t at, std::initializer_list<std::uint8_t> b) {
        Bytes out = good;
        std::copy(b.begin(), b.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        return out;
    };
    const Bytes onePc = Cat({kHeader, Le(1), NewClass("CKw"), PcBody(0, "P", 1, kMac1)});
    std::vector<std::pair<std::string, Bytes>> cases = {
        {"wrong schema", patched(14, {2})},
        {"object index as class", patched(pc2Tag, {0x02, 0x80})},
        {"object already read", patched(pc2Tag, {0x02, 0x00})},
        {"object in the 32-bit form", Cat({onePc, Le(1), Le(0x7FFF, 2), Le(2)})},
        {"group for a PC", Cat({kHeader, Le(1), NewClass("CGroup"), GroupBody("A"), Le(0)})},
        {"PC for a group", Cat({onePc, Le(1), Le(0x8001, 2), PcBody(1, "Q", 1, kMac1)})},
        {"huge PC count", Cat({kHeader, Le(0x7FFFFFFF), NewClass("CKw")})},
        {"huge earlier count", Cat({Le(0x7FFFFFFF), NewClass("CKw"), Le(0)})},
        {"huge group count", Cat({kHeader, Le(0), Le(0x7FFFFFFF), NewClass("CGroup")})},
        {"huge member count", Cat({kHeader, Le(0), Le(1), NewClass("CGroup"), GroupBody("A", 0x7FFFFFFF)})},
        {"long class name", Cat({kHeader, Le(1), {0xFF, 0xFF, 0x01, 0x00, 0x00, 0x40}})},
    };
    for (std::size_t n = 1; n < good.size(); ++n)
        cases.emplace_back("prefix " + std::to_string(n),
                           Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)));
    for (const auto& [what, bytes] : cases) {
        CDoc doc;
        Load(doc, TwoAndTwo());
        doc.SetModifiedFlag();
        EXPECT_FALSE(doc.LoadFromBytes(bytes.data(), bytes.size())) << what;
        EXPECT_TRUE(doc.m_pcs.empty() && doc.m_groups.empty() && !doc.IsModified()) << what;
    }
}

TEST(DataFileDisk, OpenAndSave)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    const std::string path = dir + "/vtserver.DAT";
    CDoc doc;
    WriteFile(path, TwoAndTwo());
    EXPECT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(doc.SaveToBytes(), TwoAndTwo());
    WriteFile(dir + "/empty.DAT", {});
    WriteFile(dir + "/bad.DAT", {0xFF, 0xFF, 0xFF, 0xFF, 1});
    for (const std::string name : {"/empty.DAT", "/bad.DAT", "/missing.DAT", ""}) {
        Load(doc, TwoAndTwo());
        EXPECT_EQ(doc.OnOpenDocument(dir + name), name == "/empty.DAT") << name;
        EXPECT_TRUE(doc.m_pcs.empty() && doc.m_groups.empty() && !doc.IsModified());
    }

    doc.SetPathName(path);
    EXPECT_EQ(doc.SaveModified(), SaveResult::Saved); // nothing pending: not written
    EXPECT_EQ(ReadFile(path), TwoAndTwo());

    // Refused (a folder): not written and not tried again. Failed (no folder; no room for a
    // temporary name beside the longest name): the flag stays.
    const std::string longest = dir + "/" + std::string(251, 'v') + ".DAT";
    WriteFile(longest, {7});
    const std::pair<std::string, SaveResult> targets[] = {{dir, SaveResult::Refused},
                                                          {dir + "/missing/x.DAT", SaveResult::Failed},
                                                          {longest, SaveResult::Failed}};
    for (const auto& [target, result] : targets) {
        doc.SetPathName(target);
        doc.SetModifiedFlag();
        EXPECT_EQ(doc.SaveModified(), result) << target;
        EXPECT_EQ(doc.IsModified(), result == SaveResult::Failed);
    }
    EXPECT_EQ(ReadFile(longest), (Bytes{7}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);
}
