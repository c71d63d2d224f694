// qpk list, show, check and stats: reading a package file without changing it; and qpk recover,
// which rolls back what an unfinished save or close left.
#include "cli/Command.h"
#include "cli/Json.h"
#include "model/Image.h"
#include "model/PackageFileIO.h"
#include "model/Verify.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/core/StringTable.h"

#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>

namespace {

using qpk::errorWords;
using qpk::fail;
using qpk::Json;
using qpk::jsonText;

// Opens the package file read-only; on failure reports it and returns nullptr.
PackageFile* openForReading(const std::string& path) {
    PackageFile* f = nullptr;
    if (OSErr err = openPackageFile(path, FilePerm::readOnly, {}, &f)) {
        fail(path, qpk::fileErrorWords(err, path));
        return nullptr;
    }
    return f;
}

// The names come straight from the records as the file streams past, with the display name
// rule of the package list (cut to 17 characters, "Unnamed Package" for none), without making a
// package entry for each: listing needs nothing but the names.
int list(const qpk::Invocation& in) {
    const std::string& path = in.args[0];
    std::unique_ptr<RecordFile> records;
    if (OSErr err = RecordFile::open(path, FilePerm::readOnly, &records))
        return fail(path, qpk::fileErrorWords(err, path));
    std::optional<qpk::JsonStream> json;
    if (in.json) json.emplace().open({{"file", path}}, "packages");
    // One element, filled again for each package.
    Json element = {{"position", 0}, {"name", ""}, {"displayName", ""}};
    std::string out;
    PackageEntry shown{};
    std::uint32_t position = 0;
    const OSErr err = records->scanRecords(
        kRecordPackage, [&](const RecordInfo& info, const unsigned char* data) {
            std::string_view name;
            imageNameFromFileBytes(data, info.length, &name);
            setDisplayName(&shown, name);
            if (json) {
                element["position"] = ++position;
                qpk::setJsonText(element["name"], name);
                qpk::setJsonText(element["displayName"], displayNameView(&shown));
                json->add(element);
                return true;
            }
            out.append(displayNameView(&shown));
            out.push_back('\n');
            if (out.size() > 1 << 16) {
                std::fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
            return true;
        });
    if (json) json->close();
    std::fwrite(out.data(), 1, out.size(), stdout);
    return err ? fail(path, errorWords(err)) : qpk::kExitOk;
}

// Field `first` onward of a TAB-separated text.
std::vector<std::string_view> fieldsFrom(std::string_view text, int first) {
    std::vector<std::string_view> fields;
    for (int field = 1;; ++field) {
        const std::size_t tab = text.find('\t');
        if (field >= first) fields.push_back(text.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        text.remove_prefix(tab + 1);
    }
}

// The pin number changes of a section, each an unpackaged and a packaged pin number.
std::vector<std::pair<std::string_view, std::string_view>> pinChanges(const ComponentSection* s) {
    std::vector<std::pair<std::string_view, std::string_view>> pairs;
    if (!s->pinChanges) return pairs;
    const char* text = s->pinChanges->data;
    const Size size = Size(s->pinChanges->size);
    for (int k = 1; k <= 2 * s->pinChangeCount; k += 2)
        pairs.emplace_back(GetFieldView(text, size, k), GetFieldView(text, size, k + 1));
    return pairs;
}

template <class T> std::string joined(const std::vector<T>& parts, const char* sep, auto&& text) {
    std::string out;
    for (const T& part : parts) {
        if (!out.empty()) out += sep;
        out += text(part);
    }
    return out;
}

void printPackage(const PackageRecord& r) {
    std::printf("Package Name: %s\n", std::string(packageFieldView(r, kFieldPackageName)).c_str());
    std::printf("Designator Prefix: %s\n",
                std::string(packageFieldView(r, kFieldDesignatorPrefix)).c_str());
    std::printf("Shape: %s\n", std::string(packageFieldView(r, kFieldShape)).c_str());
    // The three shape parameters, without empty ones at the end.
    std::string params;
    int last = kFieldShape;
    for (int i = kFieldShape + 1; i <= kFieldShape + 3; ++i)
        if (!packageFieldView(r, i).empty()) last = i;
    for (int i = kFieldShape + 1; i <= last; ++i) {
        if (i > kFieldShape + 1) params += ", ";
        params.append(packageFieldView(r, i));
    }
    std::printf("Shape Parameters: %s\n", params.c_str());
    std::printf("Component Sections: %d\n", int(r.sectionCount));
    for (int i = 1; i <= r.sectionCount; ++i) {
        const ComponentSection* s = sectionAt(r, i);
        const std::string pins = joined(pinChanges(s), ", ", [](const auto& p) {
            return std::string(p.first) + " -> " + std::string(p.second);
        });
        std::printf("  %d: Class ID %" PRId32 ", %u pin number change%s%s%s\n", i, s->classId,
                    unsigned(s->pinChangeCount), s->pinChangeCount == 1 ? "" : "s",
                    pins.empty() ? "" : ": ", pins.c_str());
    }
    std::printf("Hidden Connections: %d\n", countNetItems(r));
    int n = 0;
    forEachNetItem(r, [&](const NetItem* item) {
        const std::string_view text = netItemText(item);
        const std::string pins =
            joined(fieldsFrom(text, 2), " ", [](std::string_view pin) { return std::string(pin); });
        std::printf("  %d: %s: %s\n", ++n,
                    std::string(GetFieldView(text.data(), Size(text.size()), 1)).c_str(),
                    pins.c_str());
    });
}

// Every field, section and net of the package, the texts as the file holds them.
Json packageJson(const PackageRecord& r, long position) {
    Json sections = Json::array(), nets = Json::array();
    for (int i = 1; i <= r.sectionCount; ++i) {
        const ComponentSection* s = sectionAt(r, i);
        Json pairs = Json::array();
        for (const auto& [from, to] : pinChanges(s))
            pairs.push_back({jsonText(from), jsonText(to)});
        sections.push_back({{"classId", s->classId}, {"pinChanges", std::move(pairs)}});
    }
    forEachNetItem(r, [&](const NetItem* item) {
        const std::string_view text = netItemText(item);
        Json pins = Json::array();
        for (std::string_view pin : fieldsFrom(text, 2))
            pins.push_back(jsonText(pin));
        nets.push_back({{"name", jsonText(GetFieldView(text.data(), Size(text.size()), 1))},
                        {"pins", std::move(pins)}});
    });
    Json p = {{"position", position}};
    constexpr const char* kKeys[] = {"name", "prefix", "shape", "p1", "p2", "p3"};
    for (int field = kFieldPackageName; field <= kFieldShape + 3; ++field)
        p[kKeys[field - 1]] = jsonText(packageFieldView(r, field));
    p["sections"] = std::move(sections);
    p["nets"] = std::move(nets);
    return p;
}

int show(const qpk::Invocation& in) {
    const std::string& path = in.args[0];
    PackageFile* f = openForReading(path);
    if (!f) return qpk::kExitBadInput;
    qpk::FileCloser closer{f};
    // Display names are cut to 17 characters: the whole Package Name decides.
    const std::string_view wanted = TrimBlanks(in.args[1]);
    long position = 0;
    for (PackageEntry* e = f->packages; e; e = e->next) {
        ++position;
        if (displayNameView(e) != wanted.substr(0, kDisplayNameMax) &&
            !(wanted.empty() && displayNameView(e) == "Unnamed Package"))
            continue;
        OSErr err;
        Handle image = getImage(e, &err);
        if (!image)
            return fail(path, "package at " + std::to_string(e->recordId) + ": " + errorWords(err));
        const std::string_view text = imageFieldText(image);
        if (TrimBlanks(GetFieldView(text.data(), Size(text.size()), 1)) != wanted) continue;
        PackageRecord r;
        if ((err = expandImage(image, &r)))
            return fail(path, "package \"" + std::string(wanted) +
                                  "\" cannot be read: " + errorWords(err));
        if (in.json)
            std::printf(
                "%s\n",
                qpk::jsonLine({{"file", path}, {"package", packageJson(r, position)}}).c_str());
        else
            printPackage(r);
        return qpk::kExitOk;
    }
    return fail(path, "no package named \"" + std::string(wanted) + "\"");
}

int check(const qpk::Invocation& in) {
    const std::string& path = in.args[0];
    VerifyReport r;
    if (OSErr err = verifyRecordFile(path, &r)) return fail(path, errorWords(err));
    if (in.json) {
        Json faults = Json::array();
        for (const std::string& line : r.faults)
            faults.push_back(line);
        std::printf("%s\n", qpk::jsonLine({{"file", path},
                                           {"faultCount", r.faultCount},
                                           {"faults", std::move(faults)},
                                           {"journal", r.hotJournal.empty() ? Json(nullptr)
                                                                            : Json(r.hotJournal)}})
                                .c_str());
        return r.ok() ? qpk::kExitOk : qpk::kExitBadInput;
    }
    for (const std::string& line : r.faults)
        std::printf("%s: %s\n", path.c_str(), line.c_str());
    if (r.faultCount > r.faults.size())
        std::printf("%s: %" PRIu64 " more faults\n", path.c_str(),
                    r.faultCount - std::uint64_t(r.faults.size()));
    if (!r.hotJournal.empty() && r.ok())
        std::printf("%s: journal %s was cut short before the file changed; the next open for "
                    "writing (or qpk recover) removes it\n",
                    path.c_str(), r.hotJournal.c_str());
    return r.ok() ? qpk::kExitOk : qpk::kExitBadInput;
}

// Rolls back what a save or a close that did not finish left, with the file's lock.
int recover(const qpk::Invocation& in) {
    const std::string& path = in.args[0];
    std::string what;
    if (OSErr err = RecordFile::recover(path, &what))
        return fail(path, qpk::fileErrorWords(err, path));
    std::printf("%s: %s\n", path.c_str(), what.c_str());
    return qpk::kExitOk;
}

const char* indexState(const VerifyReport& r) {
    return !r.hasIndexHeader ? "none" : r.indexCurrent ? "current" : "outOfDate";
}

int stats(const qpk::Invocation& in) {
    const std::string& path = in.args[0];
    VerifyReport r;
    if (OSErr err = verifyRecordFile(path, &r)) return fail(path, errorWords(err));
    const std::string version =
        std::to_string(r.version >> 8) + "." + std::to_string(r.version & 0xFF);
    if (in.json) {
        std::printf("%s\n", qpk::jsonLine({{"file", path},
                                           {"size", r.fileSize},
                                           {"formatVersion", version},
                                           {"oldLayout", r.oldLayout},
                                           {"records", r.records},
                                           {"packages", r.packages},
                                           {"componentSections", r.sections},
                                           {"hiddenConnections", r.nets},
                                           {"freeBlocks", r.freeBlocks},
                                           {"freeBytes", r.freeBytes},
                                           {"unlistedFreeBlocks", r.unlistedFreeBlocks},
                                           {"slackBytes", r.slackBytes},
                                           {"classIndex", indexState(r)},
                                           {"classIndexEntries", r.indexEntries},
                                           {"faultCount", r.faultCount}})
                                .c_str());
        return qpk::kExitOk;
    }
    std::printf("file: %s\n", path.c_str());
    std::printf("size: %" PRIu64 " bytes\n", r.fileSize);
    std::printf("format version: %s%s\n", version.c_str(), r.oldLayout ? " (old layout)" : "");
    std::printf("records: %" PRIu64 "\n", r.records);
    std::printf("packages: %" PRIu64 "\n", r.packages);
    std::printf("component sections: %" PRIu64 "\n", r.sections);
    std::printf("hidden connections: %" PRIu64 "\n", r.nets);
    std::printf("free blocks: %" PRIu64 " (%" PRIu64 " bytes)\n", r.freeBlocks, r.freeBytes);
    if (r.unlistedFreeBlocks)
        std::printf("free blocks not on the free list: %" PRIu64 "\n", r.unlistedFreeBlocks);
    std::printf("slack: %" PRIu64 " bytes\n", r.slackBytes);
    if (!r.hasIndexHeader)
        std::printf("class index: none (no index header)\n");
    else if (r.indexCurrent)
        std::printf("class index: current, %u entries\n", r.indexEntries);
    else
        std::printf("class index: out of date\n");
    if (!r.ok()) std::printf("faults: %" PRIu64 " (qpk check lists them)\n", r.faultCount);
    return qpk::kExitOk;
}

const qpk::Argument kFileArgument{"FILE", "the package file", qpk::kFile};

const qpk::Registrar listCommand({
    .name = "list",
    .summary = "print the package names, in file order",
    .description = "Prints the display name of every package, one a line, in file order: the "
                   "rows of the list window. A display name is the Package Name cut to 17 "
                   "characters, or \"Unnamed Package\" for a package without a name.",
    .arguments = {kFileArgument},
    .json = true,
    .run = list,
});

const qpk::Registrar showCommand({
    .name = "show",
    .summary = "print one package: fields, sections, hidden connections",
    .description = "Prints the first package whose Package Name is NAME (blanks around it "
                   "ignored): its fields, its Component Sections with their pin number changes "
                   "and its Hidden Connections with their pins.",
    .arguments = {kFileArgument, {"NAME", "the whole Package Name, not the display name"}},
    .json = true,
    .run = show,
});

const qpk::Registrar checkCommand({
    .name = "check",
    .summary = "verify the file's structure; one line per fault",
    .description = "Verifies the container: the record chain, the free list, the package "
                   "images, the class index and its links, and a journal left by a save that "
                   "did not finish. Prints one line per fault and exits with 1 when there is "
                   "one.",
    .arguments = {kFileArgument},
    .json = true,
    .run = check,
});

const qpk::Registrar recoverCommand({
    .name = "recover",
    .summary = "roll back a save or close that did not finish",
    .description = "Rolls back the journal that a save or a close that did not finish left "
                   "beside the file, and removes a compacted copy left beside it, with the "
                   "file's lock taken, and says in one line what was done.",
    .arguments = {kFileArgument},
    .run = recover,
});

const qpk::Registrar statsCommand({
    .name = "stats",
    .summary = "count packages, sections, nets, free space; index state",
    .description = "Prints what the file holds: its size and format version, its records, "
                   "packages, Component Sections and Hidden Connections, its free blocks and "
                   "slack, and the state of its class index.",
    .arguments = {kFileArgument},
    .json = true,
    .run = stats,
});

} // namespace
