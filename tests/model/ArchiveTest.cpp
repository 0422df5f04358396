#include "ModelTestSupport.h"
#include "model/CArchive.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

using vttest::Bytes;
using vttest::ByteWriter;

namespace {
constexpr CArchive::ClassInfo kA{"CKw", 1};
constexpr CArchive::ClassInfo kB{"CGroup", 1};

template <typename Fn> void ExpectRefused(const Bytes& bytes, Fn read)
{
    CArchive ar(bytes.data(), bytes.size(), nullptr);
    EXPECT_THROW(read(ar), CArchiveException);
}
} // namespace

TEST(ArchivePrimitives, IntegersAreLittleEndianAndBoundsChecked)
{
    Bytes out;
    CArchive w(out);
    EXPECT_TRUE(w.IsStoring());
    w.WriteU8(0xAB);
    w.WriteU16(0x1234);
    w.WriteU32(0xDEADBEEF);
    w.WriteI32(-2);
    EXPECT_EQ(out, (Bytes{0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0xFE, 0xFF, 0xFF, 0xFF}));

    CArchive r(out.data(), out.size(), nullptr);
    EXPECT_TRUE(r.IsLoading());
    EXPECT_EQ(r.ReadU8(), 0xAB);
    EXPECT_EQ(r.ReadU16(), 0x1234);
    EXPECT_EQ(r.ReadU32(), 0xDEADBEEFu);
    EXPECT_EQ(r.Remaining(), 4u);
    EXPECT_EQ(r.ReadI32(), -2);
    EXPECT_THROW(r.ReadU8(), CArchiveException);

    const Bytes three{1, 2, 3};
    CArchive shortRead(three.data(), three.size(), nullptr);
    EXPECT_THROW(shortRead.ReadU32(), CArchiveException);
    CArchive none(nullptr, 0, nullptr);
    EXPECT_THROW(none.ReadU16(), CArchiveException);
}

TEST(ArchiveStrings, LengthPrefixForms)
{
    struct Case {
        std::size_t len;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {3, {0x03}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {300, {0xFF, 0x2C, 0x01}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.len);
        std::string s(c.len, 'x');
        if (c.len > 0)
            s.back() = 'y';
        Bytes out;
        CArchive w(out);
        w.WriteString(s);
        ASSERT_EQ(out.size(), c.prefix.size() + c.len);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(c.prefix.size())), c.prefix);

        CArchive r(out.data(), out.size(), nullptr);
        EXPECT_EQ(r.ReadString(), s);
        EXPECT_EQ(r.Remaining(), 0u);
    }

    Bytes out;
    CArchive w(out);
    w.WriteString("abc");
    EXPECT_EQ(out, (Bytes{0x03, 'a', 'b', 'c'}));
}

TEST(ArchiveStrings, ShortOrOddInputIsRefused)
{
    const auto read = [](CArchive& ar) { ar.ReadString(); };
    ExpectRefused({0x03, 'a', 'b'}, read);
    ExpectRefused({0xFF, 0x2C}, read);
    ExpectRefused({0xFF, 0x2C, 0x01, 'a'}, read);
    ExpectRefused({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, read);
    // A length of 4 GB backed by nothing must fail before any allocation.
    ExpectRefused({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, read);
    // The wide-character marker is not a form this program reads.
    ExpectRefused({0xFF, 0xFE, 0xFF, 0x01, 'a'}, read);
}

TEST(ArchiveTime, ThirtyTwoBitValuesPassUnchanged)
{
    Bytes out;
    CArchive w(out);
    w.WriteTime(-1);
    w.WriteTime(0);
    w.WriteTime(INT32_MAX);
    w.WriteTime(INT32_MIN);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));

    CArchive r(out.data(), out.size(), nullptr);
    EXPECT_EQ(r.ReadTime(), -1);
    EXPECT_EQ(r.ReadTime(), 0);
    EXPECT_EQ(r.ReadTime(), INT32_MAX);
    EXPECT_EQ(r.ReadTime(), INT32_MIN);
}

TEST(ArchiveTime, LateTimesKeepTheirLocalTimeOfDay)
{
    const std::int64_t times[] = {
        std::int64_t{INT32_MAX} + 1,
        vttest::LocalTime(2050, 6, 15, 22, 45),
        vttest::LocalTime(2090, 12, 24, 7, 5),
        vttest::LocalTime(2099, 3, 1, 0, 0),
    };
    for (std::int64_t t : times) {
        SCOPED_TRACE(t);
        Bytes out;
        CArchive w(out);
        w.WriteTime(t);
        CArchive r(out.data(), out.size(), nullptr);
        const std::int64_t stored = r.ReadTime();
        EXPECT_LE(stored, INT32_MAX);
        EXPECT_GT(stored, 0);
        EXPECT_EQ((t - stored) % (std::int64_t{10227} * 86400), 0);
        const std::tm a = vttest::ToLocal(t);
        const std::tm b = vttest::ToLocal(stored);
        EXPECT_EQ(a.tm_hour, b.tm_hour);
        EXPECT_EQ(a.tm_min, b.tm_min);
        EXPECT_EQ(a.tm_wday, b.tm_wday);
    }

    Bytes out;
    CArchive w(out);
    w.WriteTime(std::int64_t{INT32_MIN} - 1);
    CArchive r(out.data(), out.size(), nullptr);
    const std::int64_t stored = r.ReadTime();
    EXPECT_NE(stored, -1);
    EXPECT_EQ((stored - (std::int64_t{INT32_MIN} - 1)) % (std::int64_t{10227} * 86400), 0);
}

TEST(ArchiveObjects, TagsAndIndexNumbering)
{
    Bytes out;
    CArchive w(out);
    w.WriteObjectTag(kA); // class 1, object 2
    w.WriteObjectTag(kA); // object 3
    w.WriteObjectTag(kB); // class 4, object 5
    w.WriteObjectTag(kB); // object 6
    const Bytes expected =
        ByteWriter().newClass("CKw").raw({0x01, 0x80}).newClass("CGroup").raw({0x04, 0x80}).bytes();
    EXPECT_EQ(out, expected);

    CArchive r(out.data(), out.size(), nullptr);
    EXPECT_NO_THROW({
        r.ReadObjectTag(kA);
        r.ReadObjectTag(kA);
        r.ReadObjectTag(kB);
        r.ReadObjectTag(kB);
    });
    EXPECT_EQ(r.Remaining(), 0u);

    Bytes groupsOnly;
    CArchive g(groupsOnly);
    g.WriteObjectTag(kB);
    g.WriteObjectTag(kB);
    EXPECT_EQ(groupsOnly, ByteWriter().newClass("CGroup").raw({0x01, 0x80}).bytes());
}

TEST(ArchiveObjects, LongFormBeyondTheShortIndexRange)
{
    Bytes out;
    CArchive w(out);
    for (int i = 0; i < 0x7FFE; ++i) // class A is 1, objects 2..0x7FFF
        w.WriteObjectTag(kA);
    w.WriteObjectTag(kB); // class B gets index 0x8000
    const std::size_t before = out.size();
    w.WriteObjectTag(kB);
    EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(before), out.end()),
              (Bytes{0xFF, 0x7F, 0x00, 0x80, 0x00, 0x80}));

    CArchive r(out.data(), out.size(), nullptr);
    for (int i = 0; i < 0x7FFE; ++i)
        r.ReadObjectTag(kA);
    EXPECT_NO_THROW(r.ReadObjectTag(kB));
    EXPECT_NO_THROW(r.ReadObjectTag(kB));
    EXPECT_EQ(r.Remaining(), 0u);
}

TEST(ArchiveObjects, RefusedRecords)
{
    const auto readA = [](CArchive& ar) { ar.ReadObjectTag(kA); };
    const auto readAThenA = [](CArchive& ar) {
        ar.ReadObjectTag(kA);
        ar.ReadObjectTag(kA);
    };
    const auto readAThenB = [](CArchive& ar) {
        ar.ReadObjectTag(kA);
        ar.ReadObjectTag(kB);
    };
    const Bytes classA = ByteWriter().newClass("CKw").bytes();

    // Class name of 64 bytes, even when the bytes are there and the name would match.
    ExpectRefused(ByteWriter().u16(0xFFFF).u16(1).u16(64).raw(Bytes(64, 'C')).bytes(), readA);
    ExpectRefused(ByteWriter().newClass("CKx").bytes(), readA);
    ExpectRefused(ByteWriter().newClass("CKwX").bytes(), readA);
    ExpectRefused(ByteWriter().u16(0xFFFF).u16(2).u16(3).raw({'C', 'K', 'w'}).bytes(), readA);
    ExpectRefused(ByteWriter().u16(0xFFFF).u16(0).u16(3).raw({'C', 'K', 'w'}).bytes(), readA);
    ExpectRefused(ByteWriter().newClass("CGroup").bytes(), readA);
    // Index with no class record: nothing read yet, or the index of an object.
    ExpectRefused({0x01, 0x80}, readA);
    ExpectRefused(ByteWriter().raw(classA).raw({0x02, 0x80}).bytes(), readAThenA);
    // A known class where another is required.
    ExpectRefused(ByteWriter().raw(classA).raw({0x01, 0x80}).bytes(), readAThenB);
    // Tags without the high bit: no object, or the same object again.
    ExpectRefused({0x00, 0x00}, readA);
    ExpectRefused(ByteWriter().raw(classA).raw({0x02, 0x00}).bytes(), readAThenA);
    ExpectRefused(ByteWriter().raw(classA).raw({0xFF, 0x7F, 0x02, 0x00, 0x00, 0x00}).bytes(), readAThenA);
    // End of stream inside the tag or the class record.
    ExpectRefused({0xFF}, readA);
    ExpectRefused({0xFF, 0xFF, 0x01, 0x00, 0x03, 0x00, 'C', 'K'}, readA);
    ExpectRefused({0xFF, 0x7F, 0x01, 0x00}, readA);
}
