// The generated library.
#include "common/Generate.h"

#include "model/Image.h"
#include "model/RecordFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>

namespace bench {

namespace {

// splitmix64: a small, well-mixed generator, seeded per Package.
struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % std::uint64_t(n)); }
};

struct Family {
    const char* stem;
    const char* prefix;
    const char* shape;
    int pins[4];
};

const Family kFamilies[] = {
    {"SOIC", "U", "SO", {8, 14, 16, 20}},     {"DIP", "U", "VDIP", {8, 14, 16, 40}},
    {"QFP", "U", "QUAD", {44, 64, 100, 144}}, {"SOT23", "Q", "SOT", {3, 5, 6, 8}},
    {"TO220", "Q", "TO", {2, 3, 5, 7}},       {"RES", "R", "PADPR", {2, 2, 2, 2}},
    {"CAP", "C", "PADPR", {2, 2, 2, 2}},      {"BGA", "U", "GRID", {64, 144, 256, 484}},
    {"HDR", "J", "SIP", {2, 4, 10, 20}},      {"LED", "D", "PADPR", {2, 2, 3, 4}},
};

} // namespace

GeneratedPackage generatePackage(std::size_t index, std::size_t count, std::uint64_t seed) {
    Rng rng{seed * 0x100000001B3ull + index};
    const Family& fam = kFamilies[rng.below(int(std::size(kFamilies)))];
    const int pinCount = fam.pins[rng.below(4)];
    GeneratedPackage p;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%d_%zX", fam.stem, pinCount, index);
    p.name = buf;
    p.prefix = fam.prefix;
    p.shape = fam.shape;
    p.params[0] = std::to_string(pinCount);
    p.params[1] = std::to_string(100 + 50 * rng.below(8));
    if (rng.below(3) == 0) p.params[2] = std::to_string(rng.below(1000));

    // A pool of Class IDs about a tenth the size of the library, at least 100.
    const std::size_t pool = std::max<std::size_t>(100, count / 10);
    const int sections = 1 + rng.below(4);
    for (int s = 0; s < sections; ++s) {
        GeneratedSection sec;
        sec.classId = std::int32_t(1000 + 7 * (rng.next() % pool));
        const int pairs = rng.below(4);
        for (int k = 0; k < pairs; ++k)
            sec.pins.emplace_back(std::to_string(1 + rng.below(pinCount)),
                                  std::to_string(1 + rng.below(pinCount)));
        p.sections.push_back(std::move(sec));
    }
    static const char* const kNets[] = {"VCC", "GND", "VDD", "VSS", "AGND", "VREF"};
    const int nets = rng.below(3);
    for (int n = 0; n < nets; ++n) {
        std::string text = kNets[rng.below(6)];
        const int pins = 1 + rng.below(3);
        for (int k = 0; k < pins; ++k)
            text += "\t" + std::to_string(1 + rng.below(pinCount));
        p.nets.push_back(std::move(text));
    }
    return p;
}

PackageRecord toPackageRecord(const GeneratedPackage& p) {
    PackageRecord r;
    setPackageField(r, kFieldPackageName, p.name);
    setPackageField(r, kFieldDesignatorPrefix, p.prefix);
    setPackageField(r, kFieldShape, p.shape);
    for (int i = 0; i < 3; ++i)
        setPackageField(r, kFieldShape + 1 + i, p.params[i]);
    for (const GeneratedSection& s : p.sections) {
        ComponentSection cs;
        cs.classId = s.classId;
        addSection(r, 0, cs);
        for (const auto& [u, pk] : s.pins)
            appendPinPair(r, r.sectionCount, u, pk);
    }
    for (const std::string& n : p.nets)
        pushNetItem(r, newNetItem(std::string_view(n)));
    reverseNetItems(r);
    return r;
}

OSErr writeLibraryFile(const std::string& path, std::size_t count, ClassIndex index,
                       std::uint64_t seed) {
    if (OSErr err = RecordFile::create(path, "RHWQ", "QPK", "QPKG", 0)) return err;
    std::unique_ptr<RecordFile> rf;
    if (OSErr err = RecordFile::open(path, FilePerm::readWrite, &rf)) return err;
    // A new file filled from the start, as an import fills one: written straight, and a forced
    // close keeps every record.
    if (OSErr err = rf->setJournaling(Journaling::off)) return err;
    for (std::size_t i = 0; i < count; ++i) {
        UniqueHandle image;
        if (OSErr err = flattenPackage(toPackageRecord(generatePackage(i, count, seed)), &image))
            return err;
        std::uint32_t pos;
        if (OSErr err = rf->writeRecord(kRecordPackage, image.get(), &pos)) return err;
    }
    if (index == ClassIndex::outOfDate) rf->setReadOnly();
    return rf->close();
}

bool writeLibraryCsv(const std::string& packagesCsv, const std::string& sectionsCsv,
                     std::size_t count, std::uint64_t seed) {
    FILE* pf = std::fopen(packagesCsv.c_str(), "w");
    FILE* sf = std::fopen(sectionsCsv.c_str(), "w");
    bool ok = pf && sf;
    for (std::size_t i = 0; ok && i < count; ++i) {
        const GeneratedPackage p = generatePackage(i, count, seed);
        std::string nets;
        for (const std::string& n : p.nets) {
            if (!nets.empty()) nets += ';';
            for (char c : n)
                nets += c == '\t' ? ' ' : c;
        }
        std::fprintf(pf, "%zu,%s,%s,%s,%s,%s,%s,%s\n", i, p.name.c_str(), p.prefix.c_str(),
                     p.shape.c_str(), p.params[0].c_str(), p.params[1].c_str(), p.params[2].c_str(),
                     nets.c_str());
        for (std::size_t s = 0; s < p.sections.size(); ++s) {
            std::string pins;
            for (const auto& [u, pk] : p.sections[s].pins)
                pins += (pins.empty() ? "" : " ") + u + ">" + pk;
            std::fprintf(sf, "%zu,%zu,%d,%s\n", i, s + 1, int(p.sections[s].classId), pins.c_str());
        }
    }
    if (pf && std::fclose(pf) != 0) ok = false;
    if (sf && std::fclose(sf) != 0) ok = false;
    return ok;
}

std::string sharedLibraryPath(long count) {
    return (std::filesystem::temp_directory_path() /
            ("bench_library_" + std::to_string(count) + ".qpk"))
        .string();
}

} // namespace bench
