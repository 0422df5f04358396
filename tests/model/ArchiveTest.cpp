#include "ModelTestSupport.h"
#include "model/CArchive.h"

#include <climits>

using namespace vttest;

namespace {
constexpr CArchive::ClassInfo kA{"CKw", 1};
constexpr CArchive::ClassInfo kB{"CGroup", 1};
constexpr std::int64_t kCycle = std::int64_t{10227} * 86400;

template <typename Fn> void ExpectRefused(const Bytes& bytes, Fn read)
{
    CArchive ar(bytes.data(), bytes.size(), nullptr);
    EXPECT_THROW(read(ar), CArchiveException);
}

std::int64_t StoreTime(std::int64_t t)
{
    Bytes out;
    CArchive w(out);
    w.WriteTime(t);
    CArchive r(out.data(), out.size(), nullptr);
    return r.ReadTime();
}
} // namespace

TEST(ArchivePrimitives, LittleEndianAndBoundsChecked)
{
    Bytes out;
    CArchive w(out);
    w.WriteU8(0xAB);
    w.WriteU16(0x1234);
    w.WriteU32(0xDEADBEEF);
    w.WriteTime(-1);
    EXPECT_EQ(out, (Bytes{0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0xFF, 0xFF, 0xFF, 0xFF}));

    CArchive r(out.data(), out.size(), nullptr);
    EXPECT_EQ(r.ReadU8(), 0xAB);
    EXPECT_EQ(r.ReadU16(), 0x1234);
    EXPECT_EQ(r.ReadU32(), 0xDEADBEEFu);
    EXPECT_EQ(r.ReadTime(), -1);
    EXPECT_THROW(r.ReadU8(), CArchiveException);
    ExpectRefused({1, 2, 3}, [](CArchive& ar) { ar.ReadU32(); });
}

TEST(ArchiveStrings, LengthPrefixForms)
{
    const std::pair<std::size_t, Bytes> cases[] = {
        {0, {0x00}},
        {3, {0x03}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {300, {0xFF, 0x2C, 0x01}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
    };
    for (const auto& [len, prefix] : cases) {
        SCOPED_TRACE(len);
        const std::string s(len, 'x');
        Bytes out;
        CArchive w(out);
        w.WriteString(s);
        EXPECT_EQ(out, Cat({prefix, Bytes(s.begin(), s.end())}));
        CArchive r(out.data(), out.size(), nullptr);
        EXPECT_EQ(r.ReadString(), s);
        EXPECT_EQ(r.Remaining(), 0u);
    }

    const auto read = [](CArchive& ar) { ar.ReadString(); };
    ExpectRefused({0x03, 'a', 'b'}, read);
    ExpectRefused({0xFF, 0x2C, 0x01, 'a'}, read);
    ExpectRefused({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, read);
    ExpectRefused({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, read); // 4 GB promised
    ExpectRefused({0xFF, 0xFE, 0xFF, 0x01, 'a'}, read);                   // wide-character marker
}

TEST(ArchiveTime, LateTimesKeepTheirLocalTimeOfDay)
{
    EXPECT_EQ(StoreTime(INT32_MAX), INT32_MAX);
    EXPECT_EQ(StoreTime(INT32_MIN), INT32_MIN);
    for (std::int64_t t :
         {std::int64_t{INT32_MAX} + 1, LocalTime(2050, 6, 15, 22, 45), LocalTime(2090, 12, 24, 7, 5)}) {
        SCOPED_TRACE(t);
        const std::int64_t stored = StoreTime(t);
        EXPECT_GT(stored, 0);
        EXPECT_EQ((t - stored) % kCycle, 0);
        const std::tm a = ToLocal(t);
        const std::tm b = ToLocal(stored);
        EXPECT_EQ(std::tie(a.tm_hour, a.tm_min, a.tm_wday), std::tie(b.tm_hour, b.tm_min, b.tm_wday));
    }
    const std::int64_t early = std::int64_t{INT32_MIN} - 1;
    EXPECT_EQ((StoreTime(early) - early) % kCycle, 0);
}

TEST(ArchiveObjects, TagsAndIndexNumbering)
{
    Bytes out;
    CArchive w(out);
    for (const auto* cls : {&kA, &kA, &kB, &kB}) // CKw 1, objects 2 3, CGroup 4, objects 5 6
        w.WriteObjectTag(*cls);
    EXPECT_EQ(out, Cat({NewClass("CKw"), {0x01, 0x80}, NewClass("CGroup"), {0x04, 0x80}}));
    CArchive r(out.data(), out.size(), nullptr);
    for (const auto* cls : {&kA, &kA, &kB, &kB})
        EXPECT_NO_THROW(r.ReadObjectTag(*cls));

    // Past the short index range: tag 7FFF and a 32-bit class tag.
    Bytes big;
    CArchive wb(big);
    for (int i = 0; i < 0x7FFE; ++i)
        wb.WriteObjectTag(kA);
    wb.WriteObjectTag(kB); // class index 0x8000
    wb.WriteObjectTag(kB);
    EXPECT_EQ(Bytes(big.end() - 6, big.end()), (Bytes{0xFF, 0x7F, 0x00, 0x80, 0x00, 0x80}));
    CArchive rb(big.data(), big.size(), nullptr);
    for (int i = 0; i < 0x7FFE; ++i)
        rb.ReadObjectTag(kA);
    EXPECT_NO_THROW(rb.ReadObjectTag(kB));
    EXPECT_NO_THROW(rb.ReadObjectTag(kB));
}

TEST(ArchiveObjects, RefusedRecords)
{
    const auto readA = [](CArchive& ar) { ar.ReadObjectTag(kA); };
    const auto readAA = [](CArchive& ar) {
        ar.ReadObjectTag(kA);
        ar.ReadObjectTag(kA);
    };
    const auto readAB = [](CArchive& ar) {
        ar.ReadObjectTag(kA);
        ar.ReadObjectTag(kB);
    };
    const Bytes classA = NewClass("CKw");

    ExpectRefused(Cat({U16(0xFFFF), U16(1), U16(64), Bytes(64, 'C')}), readA); // name too long
    ExpectRefused(NewClass("CKx"), readA);
    ExpectRefused(Cat({U16(0xFFFF), U16(2), U16(3), {'C', 'K', 'w'}}), readA); // schema
    ExpectRefused(NewClass("CGroup"), readA);
    ExpectRefused({0x01, 0x80}, readA);                 // no class record yet
    ExpectRefused(Cat({classA, {0x02, 0x80}}), readAA); // index of an object
    ExpectRefused(Cat({classA, {0x01, 0x80}}), readAB); // another class
    ExpectRefused({0x00, 0x00}, readA);                 // no object
    ExpectRefused(Cat({classA, {0x02, 0x00}}), readAA); // the same object again
    ExpectRefused(Cat({classA, {0xFF, 0x7F}, U32(2)}), readAA);
    ExpectRefused({0xFF}, readA);
    ExpectRefused({0xFF, 0xFF, 0x01, 0x00, 0x03, 0x00, 'C', 'K'}, readA);
}
