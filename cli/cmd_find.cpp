// qpk find FILE TEXT: every package whose display name (or, with --class, one of whose Class IDs)
// matches, found by the same matching as the list window's Find.
// The help text in the command's entry below says what it prints and how it exits.
#include "cli/Command.h"
#include "cli/Json.h"
#include "model/PackageFileIO.h"
#include "model/PackageFind.h"
#include "toolbox/core/StringTable.h"

#include <cstdio>
#include <optional>
#include <string>

namespace {

using qpk::errorWords;

constexpr int kExitNoMatch = 1;
constexpr int kExitError = 2;

constexpr struct {
    const char* word;
    MatchMode mode;
} kModes[] = {{"contains", MatchMode::containing},
              {"begins", MatchMode::beginningWith},
              {"ends", MatchMode::endingWith},
              {"matches", MatchMode::matching}};

int find(const qpk::Invocation& in) {
    PackageSearch search;
    if (in.has("--class")) search.field = SearchField::classId;
    for (const auto& m : kModes)
        if (in.value("--mode") == m.word) search.mode = m.mode;
    const std::string& path = in.args[0];
    if (in.args[1].empty()) return qpk::usageError(*qpk::findCommand("find"), "TEXT is empty");
    search.text = Str255(in.args[1]);

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
    std::optional<qpk::JsonStream> json;
    if (in.json) json.emplace().open({{"file", path}}, "matches");
    std::string out;
    for (PackageEntry* e = f->packages; e; e = e->next) {
        ++position;
        std::int32_t classId = 0;
        const bool hit = packageMatches(e, matcher, unreadable, &classId);
        purgeEntry(e); // one image in memory at a time, however large the file
        if (!hit) continue;
        matched = true;
        if (json) {
            qpk::Json match = {{"position", position},
                               {"displayName", qpk::jsonText(displayNameView(e))}};
            if (search.field == SearchField::classId) match["classId"] = classId;
            json->add(match);
            continue;
        }
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
    if (json) json->close();
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (failed) return kExitError;
    return matched ? qpk::kExitOk : kExitNoMatch;
}

const qpk::Registrar findCommand({
    .name = "find",
    .summary = "print the matching packages with their positions (--class: by Class ID)",
    .description =
        "Prints the packages whose display name (with --class: one of whose Class IDs) matches "
        "TEXT, case ignored, as the list window's Find matches them: one line per match, the "
        "package's position (1-based, in file order: the row of the list window and the line "
        "of qpk list), a TAB, its display name and, with --class, a TAB and the first of its "
        "Class IDs that matched.\n\n"
        "Exits with 0 when something matched, 1 when nothing did and 2 on an error: a usage "
        "error, a file that cannot be opened, or a package that cannot be read (that one is "
        "named on standard error and the search goes on).",
    .arguments = {{"FILE", "the package file", qpk::kFile},
                  {"TEXT", "the text to match; one that begins with \"-\" goes after --"}},
    .options = {{"--class", nullptr, "match the Class IDs instead of the display name"},
                {"--mode", "MODE", "how TEXT matches", {"contains", "begins", "ends", "matches"}}},
    .json = true,
    .run = find,
});

} // namespace
