// qpk lint FILE...: the library check a librarian runs before publishing a library. Every
// Package is judged by the rules the package editor and its field editors apply when they close
// (a Package without a Component Section or with a blank name or prefix, a section with Class ID
// 0, a net without a name or without a pin), and beyond them a Class ID listed twice in one
// Package and a display name that an earlier Package of the same file already shows.
//
// One line per finding: `FILE: package N "NAME": message`, N the package's position in file
// order (the row of the list window and the line of `qpk list`), NAME its display name, and the
// message the text the editor asks with, where it has one. Exit code 0 when every file is clean,
// 1 with findings, 2 when a file cannot be read or holds a package that cannot be (named on
// stderr; the other packages and files are still checked).
#include "cli/Command.h"
#include "model/Image.h"
#include "model/PackageRules.h"
#include "model/RecordFile.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/core/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kExitFindings = 1;
constexpr int kExitUnreadable = 2;

std::string errorWords(OSErr err) {
    const std::string_view text = ErrorMessage(err);
    if (!text.empty()) return std::string(text);
    return "error #" + std::to_string(err & 0x1FFFFFF);
}

// A Class ID met again in a later section of the same Package.
struct RepeatedClass {
    int section;
    int firstSection;
    std::int32_t classId;
};

// The check of one file. The records stream past once; each image is copied into one buffer,
// turned into host order and walked there, and only the display names are kept, one hash map
// entry per distinct name.
class FileLint {
public:
    explicit FileLint(const std::string& path) : path_(path) {}

    // kExitOk, kExitFindings or kExitUnreadable.
    int run() {
        std::unique_ptr<RecordFile> records;
        if (OSErr err = RecordFile::open(path_, FilePerm::readOnly, &records)) {
            qpk::reportError(path_, errorWords(err));
            return kExitUnreadable;
        }
        const OSErr err = records->scanRecords(
            kRecordPackage, [this](const RecordInfo& info, const unsigned char* data) {
                checkPackage(data, info.length);
                return true;
            });
        flush();
        if (err) {
            qpk::reportError(path_, errorWords(err));
            unreadable_ = true;
        }
        if (unreadable_) return kExitUnreadable;
        return findings_ ? kExitFindings : qpk::kExitOk;
    }

private:
    void checkPackage(const unsigned char* data, std::size_t length) {
        ++position_;
        image_.assign(reinterpret_cast<const char*>(data),
                      reinterpret_cast<const char*>(data) + length);
        if (OSErr err = swapImageToHost(image_.data(), image_.size())) {
            return damaged(err);
        }
        ImageReader reader(image_.data(), image_.size());
        if (!reader.ok()) return damaged(paramErr);
        const std::string_view text = reader.fieldText();
        const std::string_view name =
            TrimBlanks(GetFieldView(text.data(), Size(text.size()), kFieldPackageName));
        setDisplayName(&shown_, name);
        const std::string_view prefix =
            GetFieldView(text.data(), Size(text.size()), kFieldDesignatorPrefix);

        pending_.clear();
        if (auto message = packageQuestion(reader.header().sectionCount, name, prefix))
            addMessage(*message);

        classes_.clear();
        ImageSection s;
        for (int k = 1; reader.nextSection(&s); ++k) {
            if (auto message = sectionQuestion(s.classId))
                addMessage(*message);
            else
                classes_.push_back({s.classId, k});
        }
        // A stored net text longer than a net item holds reaches the editor cut to 255 bytes.
        ImageNet n;
        while (reader.nextNet(&n)) {
            if (auto message = netTextQuestion(n.text.substr(0, kMaxNetText))) addMessage(*message);
        }
        if (!reader.ok()) return damaged(paramErr);
        addRepeatedClasses();
        if (!name.empty()) addDuplicateName();
        emitPending();
    }

    void damaged(OSErr err) {
        flush(); // the findings before it come first, as they were found
        qpk::reportError(path_, "package " + std::to_string(position_) + ": " + errorWords(err));
        unreadable_ = true;
    }

    void addMessage(StringId id) { pending_.emplace_back(GetStringEntry(id)); }

    // Sorted by Class ID, stably, so that a run of equal IDs starts at its first section; the
    // repeats are then reported in the order of their sections.
    void addRepeatedClasses() {
        if (classes_.size() < 2) return;
        std::stable_sort(classes_.begin(), classes_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        repeats_.clear();
        for (std::size_t i = 1, first = 0; i < classes_.size(); ++i) {
            if (classes_[i].first != classes_[first].first)
                first = i;
            else
                repeats_.push_back({classes_[i].second, classes_[first].second, classes_[i].first});
        }
        std::sort(repeats_.begin(), repeats_.end(),
                  [](const auto& a, const auto& b) { return a.section < b.section; });
        for (const RepeatedClass& r : repeats_)
            pending_.push_back("Class ID " + std::to_string(r.classId) +
                               " listed twice, in sections " + std::to_string(r.firstSection) +
                               " and " + std::to_string(r.section));
    }

    // A blank name is questioned already, and every such Package shows the same placeholder:
    // only names count here.
    void addDuplicateName() {
        const auto [at, added] =
            firstWithName_.try_emplace(std::string(displayNameView(&shown_)), position_);
        if (!added)
            pending_.push_back("duplicate name, also package " + std::to_string(at->second));
    }

    void emitPending() {
        if (pending_.empty()) return;
        std::string head = path_;
        head += ": package ";
        head += std::to_string(position_);
        head += " \"";
        head.append(displayNameView(&shown_));
        head += "\": ";
        for (const std::string& message : pending_) {
            out_ += head;
            out_ += message;
            out_ += '\n';
            ++findings_;
        }
        if (out_.size() > 1 << 16) flush();
    }

    void flush() {
        std::fwrite(out_.data(), 1, out_.size(), stdout);
        out_.clear();
    }

    const std::string& path_;
    long position_ = 0;
    long findings_ = 0;
    bool unreadable_ = false;
    std::vector<char> image_;
    PackageEntry shown_{}; // holds the display name, by the list window's rule
    std::vector<std::string> pending_;
    std::vector<std::pair<std::int32_t, int>> classes_; // Class ID, section number
    std::vector<RepeatedClass> repeats_;
    std::unordered_map<std::string, long> firstWithName_;
    std::string out_;
};

int lint(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "usage: qpk lint FILE...\n");
        return qpk::kExitUsage;
    }
    bool unreadable = false, findings = false;
    for (const std::string& path : args) {
        const int result = FileLint(path).run();
        unreadable |= result == kExitUnreadable;
        findings |= result == kExitFindings;
    }
    std::fflush(stdout);
    if (unreadable) return kExitUnreadable;
    return findings ? kExitFindings : qpk::kExitOk;
}

const qpk::Registrar lintCommand({"lint", "lint FILE...",
                                  "check every package by the editor's rules; one line per finding",
                                  lint});

} // namespace
