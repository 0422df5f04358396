// Full save (serialize + atomic write) and full load (read + parse) of the largest
// roster the program allows: 254 PCs, 100 groups of 254 members, every reservation set.
#include "FullRoster.h"
#include "model/CDoc.h"

#include <QtCore/QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {
constexpr int kRuns = 200;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename Fn> double TimeMs(Fn fn)
{
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const std::string path = dir.path().toStdString() + "/bench.DAT";

    CDoc doc;
    FillFullRoster(doc, 1700000000, 0x0A000001, 0x0A0000FF);
    doc.SetPathName(path);

    std::vector<double> save, load;
    CDoc reader;
    for (int i = 0; i < kRuns; ++i) {
        doc.SetModifiedFlag();
        bool ok = true;
        save.push_back(TimeMs([&] { ok = doc.DoFileSave() == SaveResult::Saved; }));
        load.push_back(TimeMs([&] { ok = ok && reader.OnOpenDocument(path); }));
        if (!ok || reader.m_groups.size() != CDoc::kMaxGroups) {
            std::fprintf(stderr, "run %d failed\n", i);
            return 1;
        }
    }
    // The in-memory halves, to tell encoding cost from file-system cost (the save's
    // commit waits for the disk).
    std::vector<double> serialize, parse;
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < kRuns; ++i) {
        serialize.push_back(TimeMs([&] { bytes = doc.SaveToBytes(); }));
        parse.push_back(TimeMs([&] { reader.LoadFromBytes(bytes.data(), bytes.size()); }));
    }
    std::printf("save_ms: %.2f\n", Median(save));
    std::printf("load_ms: %.2f\n", Median(load));
    std::printf("serialize_ms: %.2f\n", Median(serialize));
    std::printf("parse_ms: %.2f\n", Median(parse));
    std::printf("file_bytes: %ju\n", static_cast<std::uintmax_t>(std::filesystem::file_size(path)));
    std::printf("runs: %d\n", kRuns);
    return 0;
}
