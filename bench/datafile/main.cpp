// Full save (serialize + atomic write) and full load (read + parse) of the largest
// roster the program allows: 254 PCs, 100 groups of 254 members, every reservation set.
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

void Fill(CDoc& doc)
{
    const VtTime at = 1700000000;
    for (std::uint32_t i = 0; i < CDoc::kMaxPcs; ++i) {
        const std::uint8_t mac[6] = {0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(i + 1)};
        CKw* pc = doc.AddPc("LAB-PC-" + std::to_string(i), 0x0A000001 + i, mac, 0x0A0000FF);
        pc->m_reserveOff.Set(1, ReserveWeekly, 0, 0x3E, at, OP_SHUTDOWN, 1);
        pc->m_reserveOn.Set(1, ReserveMonthly, 0x7FFFFFFF, 0, at, OP_WAKEUP, 0);
    }
    for (std::size_t g = 0; g < CDoc::kMaxGroups; ++g) {
        CGroup* group = doc.AddGroup("Group " + std::to_string(g));
        for (std::int32_t id = 0; id < static_cast<std::int32_t>(CDoc::kMaxPcs); ++id)
            doc.AddToGroup(group, id);
        group->m_reserveOff.Set(1, ReserveDaily, 0, 0, at, OP_REBOOT, 0);
        group->m_reserveOn.Set(1, ReserveDaily, 0, 0, at, OP_WAKEUP, 0);
    }
}

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
    Fill(doc);
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
