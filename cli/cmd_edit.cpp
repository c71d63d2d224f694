// qpk copy, delete, rename and set: the list window's and the package editor's changes made
// from a script, by the same library operations, and saved by the same Save: the file is
// either changed as a whole or left as it was.
#include "cli/Command.h"
#include "cli/Editing.h"
#include "model/LibraryOps.h"
#include "model/Package.h"
#include "model/PackageFileIO.h"

#include <array>

namespace {

using qpk::fail;

// The header fields by the names set takes, in field order (field 1 the Package Name).
constexpr std::array<const char*, 6> kFieldKeys = {"name", "prefix", "shape", "p1", "p2", "p3"};
constexpr std::array<const char*, 6> kFieldTitles = {"the Package Name",  "the Designator Prefix",
                                                     "the Shape",         "shape parameter 1",
                                                     "shape parameter 2", "shape parameter 3"};

// Why the header field refuses text: it is too long, or the first character it refuses.
std::string refusal(int field, std::string_view text) {
    std::string why = "\"" + std::string(text) + "\" cannot be " + kFieldTitles[field - 1] + ": ";
    if (TrimBlanks(text).size() > std::size_t(headerFieldLimit(field)))
        return why + "it is longer than " + std::to_string(headerFieldLimit(field)) + " characters";
    for (const char c : text) {
        if (!headerFieldRefuses(field, static_cast<unsigned char>(c))) continue;
        return why + (c == ','    ? "it holds a comma"
                      : c == '.'  ? "it holds a period"
                      : c == '\t' ? "it holds a TAB"
                                  : "it holds a control character");
    }
    return why + qpk::errorWords(paramErr);
}

// Opens the file at path for writing, selects the packages selectors name and runs change on
// them; when it returns kExitOk, saves and closes. Otherwise (and when a package is not found)
// the file is closed unsaved, as it was.
template <class Change>
int editSelected(const std::string& path, const std::vector<std::string>& selectors,
                 Change change) {
    int exit = qpk::kExitOk;
    PackageFile* f = qpk::openForWriting(path, &exit);
    if (!f) return exit;
    qpk::FileCloser closer{f};
    std::vector<PackageEntry*> selected;
    if (!qpk::selectPackages(f, path, selectors, &selected)) return qpk::kExitBadInput;
    if ((exit = change(f, selected)) != qpk::kExitOk) return exit;
    closer.f = nullptr;
    return qpk::saveAndClose(f, path);
}

// Sets fields (field number, text) of every selected package under the header field rules,
// then saves (which refuses a package left without a name or a prefix). Nothing is saved when
// a package refuses.
int setFields(const std::string& path, const std::vector<std::string>& selectors,
              const std::vector<std::pair<int, std::string>>& fields) {
    return editSelected(path, selectors, [&](PackageFile* f, std::vector<PackageEntry*>& selected) {
        for (PackageEntry* e : selected) {
            for (const auto& [field, text] : fields) {
                if (OSErr err = setHeaderField(e, field, text))
                    return fail(
                        path, qpk::packageWords(f, e) + ": " +
                                  (err == paramErr ? refusal(field, text) : qpk::errorWords(err)));
            }
        }
        return qpk::kExitOk;
    });
}

int set(const qpk::Invocation& in) {
    std::vector<std::pair<int, std::string>> fields;
    for (std::size_t i = 2; i < in.args.size(); ++i) {
        const std::string& a = in.args[i];
        const std::size_t eq = a.find('=');
        int field = 0;
        for (std::size_t k = 0; k < kFieldKeys.size() && eq != std::string::npos; ++k)
            if (a.compare(0, eq, kFieldKeys[k]) == 0) field = int(k) + 1;
        if (!field)
            return qpk::usageError(*in.command, "'" + a +
                                                    "' is not FIELD=VALUE with FIELD one of "
                                                    "name, prefix, shape, p1, p2, p3");
        fields.emplace_back(field, a.substr(eq + 1));
    }
    return setFields(in.args[0], {in.args[1]}, fields);
}

int rename(const qpk::Invocation& in) {
    return setFields(in.args[0], {in.args[1]}, {{kFieldPackageName, in.args[2]}});
}

int deleteCommand(const qpk::Invocation& in) {
    const std::string& path = in.args[0];
    return editSelected(path, {in.args.begin() + 1, in.args.end()},
                        [&](PackageFile* f, std::vector<PackageEntry*>& selected) {
                            if (OSErr err = deletePackages(f, selected))
                                return fail(path, qpk::errorWords(err));
                            return qpk::kExitOk;
                        });
}

int copy(const qpk::Invocation& in) {
    const std::string &source = in.args[0], &dest = in.args[1];
    const std::vector<std::string> selectors(in.args.begin() + 2, in.args.end());
    if (selectors.empty() == !in.has("--all"))
        return qpk::usageError(*in.command, "name the packages, or --all, not both");
    PackageFile* from = nullptr;
    if (OSErr err = openPackageFile(source, FilePerm::readOnly, {}, &from))
        return fail(source, qpk::fileErrorWords(err, source));
    qpk::FileCloser closeSource{from};
    std::vector<PackageEntry*> selected;
    if (in.has("--all"))
        for (PackageEntry* e = from->packages; e; e = e->next)
            selected.push_back(e);
    else if (!qpk::selectPackages(from, source, selectors, &selected))
        return qpk::kExitBadInput;
    int exit = qpk::kExitOk;
    PackageFile* to = qpk::openForWriting(dest, &exit);
    if (!to) return exit;
    qpk::FileCloser closeDest{to};
    Failures failed;
    if (OSErr err = copyPackages(selected, to, &failed, nullptr))
        return fail(dest, qpk::errorWords(err));
    if (!failed.empty()) // a package of the source that cannot be read
        return fail(source, qpk::packageWords(from, failed.front().entry) + ": " +
                                qpk::errorWords(failed.front().err));
    closeDest.f = nullptr;
    return qpk::saveAndClose(to, dest);
}

constexpr const char* kSelectorHelp =
    "SEL is a display name, as qpk list prints it (every package of that name), or @N, the "
    "N-th package as qpk list and qpk find number them.";
constexpr const char* kExitHelp =
    "The file is saved as the editor saves it, through its journal: it is either changed as a "
    "whole or not at all. Exits with 0 when done; 1 when a package is not found, a value is "
    "refused, or a file cannot be read or written (the file is then unchanged); 2 for a usage "
    "error, or when another program holds the file open for writing (it is named).";

const std::string kSetHelp =
    std::string("Sets header fields of the selected packages, as typed into the package "
                "editor: FIELD is name, prefix, shape, p1, p2 or p3. The value loses its "
                "leading and trailing blanks, the prefix and the shape are upper-cased; a "
                "comma, a TAB or a control character is refused, and so is a period in the "
                "prefix; the name holds at most 17 characters, the prefix 8, the shape and "
                "each parameter 56. A change that leaves a package without a name or a "
                "prefix (or one without a Component Section) is refused too, with the "
                "editor's message. ") +
    kSelectorHelp + "\n\n" + kExitHelp;
const std::string kRenameHelp =
    std::string("Sets the Package Name of the selected packages, under the rules of qpk set "
                "name=NEWNAME. ") +
    kSelectorHelp + "\n\n" + kExitHelp;
const std::string kDeleteHelp =
    std::string("Removes the selected packages, as Delete in the package list does. ") +
    kSelectorHelp + "\n\n" + kExitHelp;
const std::string kCopyHelp =
    std::string("Appends copies of the selected packages of SRC (with --all: of every package) "
                "to the end of DST, in the order of SRC, as Paste does: each package's image is "
                "copied unchanged. SRC is only read. ") +
    kSelectorHelp + "\n\n" + kExitHelp;

const qpk::Registrar setCommand({
    .name = "set",
    .summary = "set header fields of packages",
    .description = kSetHelp.c_str(),
    .arguments = {{"FILE", "the package file", qpk::kFile},
                  {"SEL", "a display name or @N"},
                  {"FIELD=VALUE", "name, prefix, shape, p1, p2 or p3, and its new text",
                   qpk::kRepeated}},
    .run = set,
});

const qpk::Registrar renameCommand({
    .name = "rename",
    .summary = "set the Package Name of packages",
    .description = kRenameHelp.c_str(),
    .arguments = {{"FILE", "the package file", qpk::kFile},
                  {"SEL", "a display name or @N"},
                  {"NEWNAME", "the new Package Name"}},
    .run = rename,
});

const qpk::Registrar deleteCommand_({
    .name = "delete",
    .summary = "remove packages",
    .description = kDeleteHelp.c_str(),
    .arguments = {{"FILE", "the package file", qpk::kFile},
                  {"SEL", "a display name or @N", qpk::kRepeated}},
    .run = deleteCommand,
});

const qpk::Registrar copyCommand({
    .name = "copy",
    .summary = "append copies of packages of one file to another",
    .description = kCopyHelp.c_str(),
    .arguments = {{"SRC", "the package file copied from", qpk::kFile},
                  {"DST", "the package file copied to", qpk::kFile},
                  {"SEL", "a display name or @N", qpk::kRepeated | qpk::kOptional}},
    .options = {{"--all", nullptr, "copy every package of SRC"}},
    .run = copy,
});

} // namespace
