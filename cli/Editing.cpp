// Opening, saving and selecting for the commands that change a package file.
#include "cli/Editing.h"

#include "cli/Command.h"
#include "model/Image.h"
#include "model/PackageFileIO.h"
#include "model/PackageRules.h"
#include "toolbox/core/StringTable.h"

#include <charconv>
#include <unordered_set>

namespace qpk {

PackageFile* openForWriting(const std::string& path, int* exitCode) {
    PackageFile* f = nullptr;
    if (OSErr err = openPackageFile(path, FilePerm::readWrite, {}, &f)) {
        *exitCode = fail(path, fileErrorWords(err, path));
        if (err == fBsyErr) *exitCode = kExitUsage;
        return nullptr;
    }
    return f;
}

int saveAndClose(PackageFile* f, const std::string& path) {
    FileCloser closer{f};
    // The save would keep a package that is not valid out of the file and write the rest:
    // the whole change is refused instead.
    for (PackageEntry* e = f->packages; e; e = e->next) {
        if (!(e->flags & kModified) || imageIsValid(e->image)) continue;
        const auto question =
            packageQuestion(imageSectionCount(e->image), imageField(e->image, 1).view(),
                            imageField(e->image, 2).view());
        const std::string_view message =
            GetStringEntry(question.value_or(StringId::packageNeedsSection));
        // The first sentence: the rest tells what the editor would do.
        return fail(path, packageWords(f, e) + ": " +
                              std::string(message.substr(0, message.find(".  ") + 1)));
    }
    OSErr err = savePackageFile(f);
    if (!err) err = closePackageFileRecords(f, RecordClose::complete);
    return err ? fail(path, fileErrorWords(err, path)) : kExitOk;
}

std::string packageWords(PackageFile* f, PackageEntry* e) {
    return "package @" + std::to_string(indexOfEntry(f, e) + 1) + " \"" +
           std::string(displayNameView(e)) + "\"";
}

namespace {

// The position N of "@N", 0 when the selector is not one.
std::int32_t selectorPosition(const std::string& selector) {
    std::int32_t n = 0;
    if (selector.size() < 2 || selector[0] != '@') return 0;
    const char* end = selector.data() + selector.size();
    const auto [at, ec] = std::from_chars(selector.data() + 1, end, n);
    return ec == std::errc() && at == end && n > 0 ? n : 0;
}

} // namespace

bool selectPackages(PackageFile* f, const std::string& path,
                    const std::vector<std::string>& selectors, std::vector<PackageEntry*>* out) {
    std::unordered_set<std::string_view> names;
    std::unordered_set<std::int32_t> positions;
    for (const std::string& s : selectors)
        if (std::int32_t n = selectorPosition(s))
            positions.insert(n);
        else
            names.insert(s);
    std::unordered_set<std::string_view> namesFound;
    std::int32_t position = 0;
    for (PackageEntry* e = f->packages; e; e = e->next) {
        const bool named = names.count(displayNameView(e)) != 0;
        if (named) namesFound.insert(displayNameView(e));
        if (positions.count(++position) || named) out->push_back(e);
    }
    for (const std::string& s : selectors) {
        const std::int32_t n = selectorPosition(s);
        if (n ? n <= f->packageCount : namesFound.count(s) != 0) continue;
        fail(path,
             n ? "no package at position " + std::to_string(n) : "no package named \"" + s + "\"");
        return false;
    }
    return true;
}

} // namespace qpk
