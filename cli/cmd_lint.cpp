// qpk lint FILE...: the library check a librarian runs before publishing a library. Every
// Package is judged by the rules the package editor and its field editors apply when they close
// (a Package without a Component Section or with a blank name or prefix, a section with Class ID
// 0, a net without a name or without a pin), and beyond them a Class ID listed twice in one
// Package with the same pin number changes (a copied section) and a display name that an
// earlier Package of the same file already shows.
//
// What it prints and how it exits: the help text in its entry at the end of this file.
#include "cli/Command.h"
#include "cli/Json.h"
#include "model/Image.h"
#include "model/PackageRules.h"
#include "model/RecordFile.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/core/StringTable.h"

#include <algorithm>
#include <array>
#include <compare>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <sys/mman.h>
#include <utility>
#include <vector>

namespace {

using qpk::errorWords;

constexpr int kExitFindings = 1;
constexpr int kExitUnreadable = 2;

// A block of zeroed memory from the system, large pages asked for, grown by doubling. The
// name table's blocks are tens of megabytes for a million names: taken this way they need no
// clearing by hand, and large pages fault in a hundredth as often as small ones.
class ZeroedBlock {
public:
    ZeroedBlock() = default;
    ZeroedBlock(const ZeroedBlock&) = delete;
    ZeroedBlock& operator=(const ZeroedBlock&) = delete;
    ~ZeroedBlock() { release(); }

    char* data() const { return data_; }
    std::size_t size() const { return size_; }
    // A fresh zeroed block of at least bytes, the old one's contents dropped. False when the
    // system refuses (the block is then empty).
    bool reset(std::size_t bytes) {
        release();
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
#ifdef MADV_HUGEPAGE
        madvise(p, bytes, MADV_HUGEPAGE); // only a hint: small pages do as well, more slowly
#endif
        data_ = static_cast<char*>(p);
        size_ = bytes;
        return true;
    }
    // Twice as large (bytes when empty), keeping the contents.
    bool grow(std::size_t bytes) {
        ZeroedBlock larger;
        if (!larger.reset(size_ ? size_ * 2 : bytes)) return false;
        if (size_) std::memcpy(larger.data_, data_, size_);
        swap(larger);
        return true;
    }
    void swap(ZeroedBlock& o) {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
    }

private:
    void release() {
        if (data_) munmap(data_, size_);
        data_ = nullptr;
        size_ = 0;
    }
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

// The display names met so far in one file, each with the package that showed it first. The
// names go one after another into a block of fixed entries (a display name has at most 17
// characters); an open addressing table of 8-byte slots, each a name's hash and its entry, finds
// them: a million names cost two flat blocks and one probe each, not a million allocations.
class NameTable {
public:
    // Room for n more names, so that the table does not move while they are looked up. False
    // when memory runs out.
    bool reserve(std::size_t n) {
        while ((count_ + n) * 4 > slotCount() * 3)
            if (!growSlots()) return false;
        while ((count_ + n) * sizeof(Entry) > entries_.size())
            if (!entries_.grow(kFirstSlots * sizeof(Entry))) return false;
        return true;
    }

    // The hash of a name about to be looked up, its slot started on its way into the cache.
    std::uint32_t prepare(std::string_view name) const {
        const std::uint32_t h = hash(name);
        __builtin_prefetch(slots_.data() + (h & (slotCount() - 1)) * sizeof(Slot), 1);
        return h;
    }

    // The position of the earlier package that shows name (h its hash from prepare); 0,
    // recording name for position, when there is none. Room for it was reserved.
    std::uint32_t firstWith(std::string_view name, std::uint32_t h, std::uint32_t position) {
        Slot* slots = reinterpret_cast<Slot*>(slots_.data());
        const std::size_t mask = slotCount() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& slot = slots[i];
            if (!slot.entry) {
                Entry& e = reinterpret_cast<Entry*>(entries_.data())[count_++];
                e.position = position;
                e.length = static_cast<std::uint8_t>(name.size());
                std::memcpy(e.name, name.data(), name.size());
                slot = {h, static_cast<std::uint32_t>(count_)};
                return 0;
            }
            if (slot.hash != h) continue;
            const Entry& e = reinterpret_cast<const Entry*>(entries_.data())[slot.entry - 1];
            if (std::string_view(e.name, e.length) == name) return e.position;
        }
    }

private:
    struct Entry {
        std::uint32_t position;
        std::uint8_t length;
        char name[kDisplayNameMax];
    };
    struct Slot {
        std::uint32_t hash;
        std::uint32_t entry; // 1-based; 0: empty
    };
    static constexpr std::size_t kFirstSlots = 1 << 16;

    static std::uint32_t hash(std::string_view name) {
        std::uint32_t h = 2166136261u; // FNV-1a
        for (char c : name)
            h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
        return h;
    }

    std::size_t slotCount() const { return slots_.size() / sizeof(Slot); }

    bool growSlots() {
        ZeroedBlock larger;
        if (!larger.reset(slots_.size() ? slots_.size() * 2 : kFirstSlots * sizeof(Slot)))
            return false;
        Slot* to = reinterpret_cast<Slot*>(larger.data());
        const std::size_t mask = larger.size() / sizeof(Slot) - 1;
        const Slot* from = reinterpret_cast<const Slot*>(slots_.data());
        for (std::size_t k = 0; k < slotCount(); ++k) {
            if (!from[k].entry) continue;
            std::size_t i = from[k].hash & mask;
            while (to[i].entry)
                i = (i + 1) & mask;
            to[i] = from[k];
        }
        slots_.swap(larger);
        return true;
    }

    ZeroedBlock slots_;   // a power of two of slots, at most three quarters used
    ZeroedBlock entries_; // count_ entries
    std::size_t count_ = 0;
};

// A section of a Package, as far as telling a copied section goes.
struct SectionKey {
    std::int32_t classId;
    std::string_view pinChanges; // points into the image being checked
    int section;
    auto operator<=>(const SectionKey&) const = default;
};

// A Class ID met again, with the same pin number changes, in a later section of the same
// Package.
struct RepeatedClass {
    int section;
    int firstSection;
    std::int32_t classId;
};

// The check of one file. The records stream past once; each image is copied into one buffer,
// turned into host order and walked there. Only the display names are kept, in the name table.
// The packages go through in batches: each package's findings wait with it while the name table
// fetches the slots of the whole batch at once, and are written out, in package order, with its
// duplicate name when the batch is looked up.
class FileLint {
public:
    // With json, the findings go there, in an object of the file.
    FileLint(const std::string& path, qpk::JsonStream* json) : path_(path), json_(json) {}

    // kExitOk, kExitFindings or kExitUnreadable.
    int run() {
        if (json_) json_->open({{"file", path_}}, "findings");
        const int result = check();
        if (json_) json_->close();
        return result;
    }

private:
    int check() {
        std::unique_ptr<RecordFile> records;
        if (OSErr err = RecordFile::open(path_, FilePerm::readOnly, &records)) {
            qpk::reportError(path_, qpk::fileErrorWords(err, path_));
            return kExitUnreadable;
        }
        OSErr failed = noErr; // memory that ran out stops the check
        OSErr err = records->scanRecords(
            kRecordPackage, [&](const RecordInfo& info, const unsigned char* data) {
                if ((failed = checkPackage(data, info.length)) != noErr) return false;
                if (heldCount_ == kBatch) settle();
                return true;
            });
        if (failed == noErr) settle();
        flush();
        if (failed != noErr) err = failed;
        if (err) {
            qpk::reportError(path_, errorWords(err));
            unreadable_ = true;
        }
        if (unreadable_) return kExitUnreadable;
        return findings_ ? kExitFindings : qpk::kExitOk;
    }

    // A package checked and not yet written out.
    struct HeldPackage {
        std::uint32_t position;
        std::uint32_t nameHash; // of the display name; 0 for a blank name, never looked up
        bool named;
        std::uint8_t shownLength;
        char shown[kDisplayNameMax];          // the display name
        std::size_t firstMessage, endMessage; // its findings in messages_
    };
    static constexpr std::size_t kBatch = 64;
    static constexpr std::size_t kFirstImage = 1 << 16;

    // memFullErr when the name table or the image's copy cannot grow; a package that cannot be
    // read is reported, and the check goes on.
    OSErr checkPackage(const unsigned char* data, std::size_t length) {
        ++position_;
        if (heldCount_ == 0 && !names_.reserve(kBatch)) return memFullErr;
        if ((!image_.data() || image_.size() < length) &&
            !image_.reset(std::max(length, kFirstImage)))
            return memFullErr;
        HeldPackage held{};
        held.position = position_;
        // The name first, from the bytes as stored, so that its slot of the name table is on its
        // way into the cache while the rest is checked.
        std::string_view name;
        imageNameFromFileBytes(data, length, &name);
        setDisplayName(&shown_, name);
        const std::string_view shown = displayNameView(&shown_);
        held.named = !name.empty();
        if (held.named) held.nameHash = names_.prepare(shown);
        held.shownLength = static_cast<std::uint8_t>(shown.size());
        std::memcpy(held.shown, shown.data(), shown.size());
        held.firstMessage = messages_.size();

        std::memcpy(image_.data(), data, length);
        if (OSErr err = swapImageToHost(image_.data(), length)) return damaged(err);
        ImageReader reader(image_.data(), length);
        if (!reader.ok()) return damaged(paramErr);
        const std::string_view text = reader.fieldText();
        const std::string_view prefix =
            GetFieldView(text.data(), Size(text.size()), kFieldDesignatorPrefix);
        if (auto message = packageQuestion(reader.header().sectionCount, name, prefix))
            addMessage(*message);

        classes_.clear();
        ImageSection s;
        for (int k = 1; reader.nextSection(&s); ++k) {
            if (auto message = sectionQuestion(s.classId))
                addMessage(*message);
            else
                classes_.push_back({s.classId, s.text, k});
        }
        // A stored net text longer than a net item holds reaches the editor cut to 255 bytes.
        ImageNet n;
        while (reader.nextNet(&n)) {
            if (auto message = netTextQuestion(n.text.substr(0, kMaxNetText))) addMessage(*message);
        }
        if (!reader.ok()) {
            messages_.resize(held.firstMessage);
            return damaged(paramErr);
        }
        addRepeatedClasses();
        held.endMessage = messages_.size();
        // A package with nothing to say and no name to look up needs no place in the batch.
        if (held.named || held.endMessage > held.firstMessage) held_[heldCount_++] = held;
        return noErr;
    }

    // Reports a package that cannot be read; the check goes on with the next (noErr).
    OSErr damaged(OSErr err) {
        settle(); // the findings before it come first, as they were found
        flush();
        qpk::reportError(path_, "package " + std::to_string(position_) + ": " + errorWords(err));
        unreadable_ = true;
        return noErr;
    }

    void addMessage(StringId id) { messages_.emplace_back(GetStringEntry(id)); }

    // Several sections may share a Class ID (the gates of a quad gate package), each with its
    // own pin number changes; one whose pin number changes are those of an earlier section with
    // its Class ID is a copy. Sorted by Class ID, pin number changes and section, a run of equal
    // sections starts at the first of them; the copies are then reported in section order.
    void addRepeatedClasses() {
        if (classes_.size() < 2) return;
        std::sort(classes_.begin(), classes_.end());
        repeats_.clear();
        for (std::size_t i = 1, first = 0; i < classes_.size(); ++i) {
            const SectionKey &a = classes_[first], &b = classes_[i];
            if (a.classId != b.classId || a.pinChanges != b.pinChanges)
                first = i;
            else
                repeats_.push_back({b.section, a.section, b.classId});
        }
        std::sort(repeats_.begin(), repeats_.end(),
                  [](const auto& a, const auto& b) { return a.section < b.section; });
        for (const RepeatedClass& r : repeats_)
            messages_.push_back("Class ID " + std::to_string(r.classId) +
                                " listed twice with the same pin number changes, in sections " +
                                std::to_string(r.firstSection) + " and " +
                                std::to_string(r.section));
    }

    // Looks the held packages' names up, in package order, and writes out each one's findings,
    // then its duplicate name. A blank name is questioned already, and every such package shows
    // the same placeholder: only names count here.
    void settle() {
        for (const HeldPackage& h : std::span(held_.data(), heldCount_)) {
            const std::string_view shown(h.shown, h.shownLength);
            for (std::size_t i = h.firstMessage; i < h.endMessage; ++i)
                emit(h.position, shown, messages_[i]);
            if (!h.named) continue;
            if (const std::uint32_t first = names_.firstWith(shown, h.nameHash, h.position))
                emit(h.position, shown, "duplicate name, also package " + std::to_string(first));
        }
        heldCount_ = 0;
        messages_.clear();
        if (out_.size() > 1 << 16) flush();
    }

    void emit(std::uint32_t position, std::string_view shown, std::string_view message) {
        ++findings_;
        if (json_) {
            json_->add({{"position", position},
                        {"displayName", qpk::jsonText(shown)},
                        {"message", message}});
            return;
        }
        out_ += path_;
        out_ += ": package ";
        out_ += std::to_string(position);
        out_ += " \"";
        out_ += shown;
        out_ += "\": ";
        out_ += message;
        out_ += '\n';
    }

    void flush() {
        std::fwrite(out_.data(), 1, out_.size(), stdout);
        out_.clear();
    }

    const std::string& path_;
    qpk::JsonStream* json_;
    std::uint32_t position_ = 0; // record positions are 32-bit: so is their count
    long findings_ = 0;
    bool unreadable_ = false;
    ZeroedBlock image_;    // the package being checked, turned into host order
    PackageEntry shown_{}; // makes the display name, by the list window's rule
    std::array<HeldPackage, kBatch> held_;
    std::size_t heldCount_ = 0;
    std::vector<std::string> messages_;
    std::vector<SectionKey> classes_;
    std::vector<RepeatedClass> repeats_;
    NameTable names_;
    std::string out_;
};

int lint(const qpk::Invocation& in) {
    bool unreadable = false, findings = false;
    {
        std::optional<qpk::JsonStream> json;
        if (in.json) json.emplace().open(qpk::Json::object(), "files");
        for (const std::string& path : in.args) {
            const int result = FileLint(path, json ? &*json : nullptr).run();
            unreadable |= result == kExitUnreadable;
            findings |= result == kExitFindings;
        }
        if (json) json->close();
    }
    std::fflush(stdout);
    if (unreadable) return kExitUnreadable;
    return findings ? kExitFindings : qpk::kExitOk;
}

const qpk::Registrar lintCommand({
    .name = "lint",
    .summary = "check the packages by the editor's rules and for repeated names and Class IDs",
    .description =
        "Checks a library before it is published, by the rules the editor applies when its "
        "windows close: a package without a Component Section, or with a blank name or prefix; "
        "a section whose Class ID is 0; a net without a name or without a pin. It also finds a "
        "section that repeats the Class ID and the pin number changes of an earlier section of "
        "its package, and a display name that an earlier package of the same file already "
        "shows.\n\n"
        "Each finding is one line, FILE: package N \"NAME\": message, with N the package's "
        "position as qpk find prints it and NAME its display name. Exits with 0 when every file "
        "is clean, 1 with findings and 2 when a file or a package cannot be read (named on "
        "standard error; the other packages and files are still checked).",
    .arguments = {{"FILE", "a package file", qpk::kFile | qpk::kRepeated}},
    .json = true,
    .run = lint,
});

} // namespace
