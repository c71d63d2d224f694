// qpk find FILE TEXT [--class] [--mode contains|begins|ends|matches]: every package whose display
// name (or, with --class, one of whose Class IDs) matches, found by the same matching as the
// list window's Find.
//
// One line per match: the package's position in the list (1-based, in file order, the row the
// list window shows it in and the line `qpk list` prints it on), a TAB, its display name and,
// with --class, a TAB and the first of its Class IDs that matched. Exit code 0 when something
// matched, 1 when nothing did, 2 on a usage error, a file that cannot be opened, or a package
// that cannot be read (reported on stderr; the search goes on past it).
#include "cli/Command.h"
#include "model/PackageFileIO.h"
#include "model/PackageFind.h"
#include "toolbox/core/StringTable.h"

#include <cstdio>
#include <string>

namespace {

using qpk::errorWords;

constexpr int kExitNoMatch = 1;
constexpr int kExitError = 2;
constexpr const char* kUsage = "find FILE TEXT [--class] [--mode contains|begins|ends|matches]";

int usage() {
    std::fprintf(stderr, "usage: qpk %s\n", kUsage);
    return qpk::kExitUsage;
}

bool parseMode(const std::string& word, MatchMode* mode) {
    static constexpr struct {
        const char* word;
        MatchMode mode;
    } kModes[] = {{"contains", MatchMode::containing},
                  {"begins", MatchMode::beginningWith},
                  {"ends", MatchMode::endingWith},
                  {"matches", MatchMode::matching}};
    for (const auto& m : kModes) {
        if (word == m.word) {
            *mode = m.mode;
            return true;
        }
    }
    return false;
}

int find(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    PackageSearch search;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--class") {
            search.field = SearchField::classId;
        } else if (args[i] == "--mode") {
            if (++i == args.size() || !parseMode(args[i], &search.mode)) return usage();
        } else if (args[i].rfind("--", 0) == 0) {
            return usage();
        } else {
            words.push_back(args[i]); // "-12" is a text, not an option
        }
    }
    if (words.size() != 2 || words[1].empty()) return usage();
    const std::string& path = words[0];
    search.text = Str255(words[1]);

    PackageFile* f = nullptr;
    if (OSErr err = openPackageFile(path, FilePerm::readOnly, {}, &f)) {
        qpk::reportError(path, qpk::fileErrorWords(err, path));
        return kExitError;
    }
    qpk::FileCloser closer{f};

    SearchMatcher matcher(search);
    long position = 0;
    bool matched = false, failed = false;
    const UnreadableImageHook unreadable = [&](PackageEntry*, OSErr err) {
        qpk::reportError(path, "package " + std::to_string(position) + ": " + errorWords(err));
        failed = true;
    };
    std::string out;
    for (PackageEntry* e = f->packages; e; e = e->next) {
        ++position;
        std::int32_t classId = 0;
        const bool hit = packageMatches(e, matcher, unreadable, &classId);
        purgeEntry(e); // one image in memory at a time, however large the file
        if (!hit) continue;
        matched = true;
        out += std::to_string(position);
        out += '\t';
        out.append(displayNameView(e));
        if (search.field == SearchField::classId) out += '\t' + std::to_string(classId);
        out += '\n';
        if (out.size() > 1 << 16) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (failed) return kExitError;
    return matched ? qpk::kExitOk : kExitNoMatch;
}

const qpk::Registrar
    findCommand({"find", kUsage,
                 "print the matching packages with their positions (--class: by Class ID)", find});

} // namespace
