// qpk list, show, check and stats: reading a package file without changing it; and qpk recover,
// which rolls back what an unfinished save or close left.
#include "cli/Command.h"
#include "model/Image.h"
#include "model/PackageFileIO.h"
#include "model/Verify.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/core/StringTable.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace {

using qpk::errorWords;

int fail(const std::string& file, const std::string& message) {
    qpk::reportError(file, message);
    return qpk::kExitBadInput;
}

int usage(const char* line) {
    std::fprintf(stderr, "usage: qpk %s\n", line);
    return qpk::kExitUsage;
}

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
int list(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage("list FILE");
    std::unique_ptr<RecordFile> records;
    if (OSErr err = RecordFile::open(args[0], FilePerm::readOnly, &records))
        return fail(args[0], qpk::fileErrorWords(err, args[0]));
    std::string out;
    PackageEntry shown{};
    const OSErr err = records->scanRecords(kRecordPackage,
                                           [&](const RecordInfo& info, const unsigned char* data) {
                                               std::string_view name;
                                               imageNameFromFileBytes(data, info.length, &name);
                                               setDisplayName(&shown, name);
                                               out.append(displayNameView(&shown));
                                               out.push_back('\n');
                                               if (out.size() > 1 << 16) {
                                                   std::fwrite(out.data(), 1, out.size(), stdout);
                                                   out.clear();
                                               }
                                               return true;
                                           });
    std::fwrite(out.data(), 1, out.size(), stdout);
    return err ? fail(args[0], errorWords(err)) : qpk::kExitOk;
}

// Fields `first` onward of a TAB-separated text, joined by sep.
std::string fieldsFrom(std::string_view text, int first, const char* sep) {
    std::string out;
    for (int field = 1;; ++field) {
        const std::size_t tab = text.find('\t');
        if (field >= first) {
            if (field > first) out += sep;
            out.append(text.substr(0, tab));
        }
        if (tab == std::string_view::npos) return out;
        text.remove_prefix(tab + 1);
    }
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
        std::string pins;
        if (s->pinChanges) {
            const std::string_view text(s->pinChanges->data, std::size_t(s->pinChanges->size));
            for (int k = 1; k <= 2 * s->pinChangeCount; k += 2) {
                if (k > 1) pins += ", ";
                pins.append(GetFieldView(text.data(), Size(text.size()), k));
                pins += " -> ";
                pins.append(GetFieldView(text.data(), Size(text.size()), k + 1));
            }
        }
        std::printf("  %d: Class ID %" PRId32 ", %u pin number change%s%s%s\n", i, s->classId,
                    unsigned(s->pinChangeCount), s->pinChangeCount == 1 ? "" : "s",
                    pins.empty() ? "" : ": ", pins.c_str());
    }
    std::printf("Hidden Connections: %d\n", countNetItems(r));
    int n = 0;
    forEachNetItem(r, [&](const NetItem* item) {
        const std::string_view text = netItemText(item);
        std::printf("  %d: %s: %s\n", ++n,
                    std::string(GetFieldView(text.data(), Size(text.size()), 1)).c_str(),
                    fieldsFrom(text, 2, " ").c_str());
    });
}

int show(const std::vector<std::string>& args) {
    if (args.size() != 2) return usage("show FILE NAME");
    PackageFile* f = openForReading(args[0]);
    if (!f) return qpk::kExitBadInput;
    qpk::FileCloser closer{f};
    // Display names are cut to 17 characters: the whole Package Name decides.
    const std::string_view wanted = TrimBlanks(args[1]);
    for (PackageEntry* e = f->packages; e; e = e->next) {
        if (displayNameView(e) != wanted.substr(0, kDisplayNameMax) &&
            !(wanted.empty() && displayNameView(e) == "Unnamed Package"))
            continue;
        OSErr err;
        Handle image = getImage(e, &err);
        if (!image)
            return fail(args[0],
                        "package at " + std::to_string(e->recordId) + ": " + errorWords(err));
        const std::string_view text = imageFieldText(image);
        if (TrimBlanks(GetFieldView(text.data(), Size(text.size()), 1)) != wanted) continue;
        PackageRecord r;
        if ((err = expandImage(image, &r)))
            return fail(args[0], "package \"" + std::string(wanted) +
                                     "\" cannot be read: " + errorWords(err));
        printPackage(r);
        return qpk::kExitOk;
    }
    return fail(args[0], "no package named \"" + std::string(wanted) + "\"");
}

int check(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage("check FILE");
    VerifyReport r;
    if (OSErr err = verifyRecordFile(args[0], &r)) return fail(args[0], errorWords(err));
    for (const std::string& line : r.faults)
        std::printf("%s: %s\n", args[0].c_str(), line.c_str());
    if (r.faultCount > r.faults.size())
        std::printf("%s: %" PRIu64 " more faults\n", args[0].c_str(),
                    r.faultCount - std::uint64_t(r.faults.size()));
    if (!r.hotJournal.empty() && r.ok())
        std::printf("%s: journal %s was cut short before the file changed; the next open for "
                    "writing (or qpk recover) removes it\n",
                    args[0].c_str(), r.hotJournal.c_str());
    return r.ok() ? qpk::kExitOk : qpk::kExitBadInput;
}

// Rolls back what a save or a close that did not finish left, with the file's lock.
int recover(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage("recover FILE");
    std::string what;
    if (OSErr err = RecordFile::recover(args[0], &what))
        return fail(args[0], qpk::fileErrorWords(err, args[0]));
    std::printf("%s: %s\n", args[0].c_str(), what.c_str());
    return qpk::kExitOk;
}

int stats(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage("stats FILE");
    VerifyReport r;
    if (OSErr err = verifyRecordFile(args[0], &r)) return fail(args[0], errorWords(err));
    std::printf("file: %s\n", args[0].c_str());
    std::printf("size: %" PRIu64 " bytes\n", r.fileSize);
    std::printf("format version: %u.%u%s\n", unsigned(r.version >> 8), unsigned(r.version & 0xFF),
                r.oldLayout ? " (old layout)" : "");
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

const qpk::Registrar listCommand({"list", "list FILE", "print the package names, in file order",
                                  list});
const qpk::Registrar showCommand({"show", "show FILE NAME",
                                  "print one package: fields, sections, hidden connections", show});
const qpk::Registrar checkCommand({"check", "check FILE",
                                   "verify the file's structure; one line per fault", check});
const qpk::Registrar recoverCommand({"recover", "recover FILE",
                                     "roll back a save or close that did not finish", recover});
const qpk::Registrar statsCommand({"stats", "stats FILE",
                                   "count packages, sections, nets, free space; index state",
                                   stats});

} // namespace
