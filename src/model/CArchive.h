#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class CDoc;

/// Raised by a loading archive when the stream ends early or holds a record it must
/// refuse. The document's load catches it; nothing else does.
class CArchiveException final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// @brief The byte encoding of the data file: little-endian integers, 32-bit time
/// values, counted strings and tagged object records with class records.
///
/// An archive either stores into a byte vector or loads from a byte span, never both.
/// Every read is bounds-checked against the bytes left; nothing is allocated from a
/// count before the bytes for it are known to be there.
class CArchive final {
public:
    /// Storing archive that appends to `out`.
    explicit CArchive(std::vector<std::uint8_t>& out);
    /// Loading archive over `size` bytes at `data`; `doc` is the document being loaded
    /// (its m_nFileVersion selects the record layouts) and may be null in tests.
    CArchive(const std::uint8_t* data, std::size_t size, CDoc* doc);

    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsStoring() const { return m_pOut != nullptr; }
    bool IsLoading() const { return m_pOut == nullptr; }

    /// The document being loaded (null when storing or when none was given).
    CDoc* GetDocument() const { return m_pDoc; }
    /// File version in force while loading: the document's m_nFileVersion, or the
    /// value given by SetFileVersion when the archive has no document.
    std::int32_t GetFileVersion() const;
    void SetFileVersion(std::int32_t nVersion) { m_nVersion = nVersion; }

    void WriteU8(std::uint8_t v);
    void WriteU16(std::uint16_t v);
    void WriteU32(std::uint32_t v);
    void WriteI32(std::int32_t v) { WriteU32(static_cast<std::uint32_t>(v)); }
    /// A time value as the file's 32-bit signed seconds.
    void WriteTime(std::int64_t t);
    void WriteString(const std::string& s);

    std::uint8_t ReadU8();
    std::uint16_t ReadU16();
    std::uint32_t ReadU32();
    std::int32_t ReadI32() { return static_cast<std::int32_t>(ReadU32()); }
    std::int64_t ReadTime();
    std::string ReadString();

    /// Bytes not yet read (loading only).
    std::size_t Remaining() const { return m_nSize - m_nPos; }

    // Object records (tag FFFF + class record, or 8000|index) are written and read by
    // WriteObjectTag / ReadObjectTag; see CArchive.cpp.
    struct ClassInfo {
        const char* pszName;
        std::uint16_t wSchema;
    };
    /// Writes the tag (and on first use the class record) before an object's body.
    void WriteObjectTag(const ClassInfo& cls);
    /// Reads a tag for an object that must be of class `cls`; throws when refused.
    void ReadObjectTag(const ClassInfo& cls);

private:
    void Need(std::size_t n) const;

    std::vector<std::uint8_t>* m_pOut = nullptr;
    const std::uint8_t* m_pData = nullptr;
    std::size_t m_nSize = 0;
    std::size_t m_nPos = 0;
    CDoc* m_pDoc = nullptr;
    std::int32_t m_nVersion = 1;
    std::uint32_t m_nNextIndex = 1;
    std::vector<std::pair<std::string, std::uint32_t>> m_classes; // name -> index
};
