#include "textfmt/Import.h"

#include "model/Image.h"
#include "textfmt/ImportParser.h"
#include "toolbox/core/StringTable.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

int runImportParser(ImportParser* p); // ImportGrammar.y

constexpr long kProgressStep = 64 * 1024;

Str255 importMessage(int code) {
    return GetIndString(1100, code - 1);
}

// --- Token strings ----------------------------------------------------------------------------

bool TokenStrings::grow(std::size_t more) {
    try {
        chars_.resize(std::max<std::size_t>(1024, 2 * (used_ + more)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void TokenStrings::clear() {
    std::vector<char>().swap(chars_);
    used_ = 0;
    alive_ = 0;
}

// --- Spare parts ------------------------------------------------------------------------------

SpareParts::~SpareParts() {
    DisposeHandle(fieldText_);
    DisposeHandle(sectionTable_);
    for (int i = 0; i < pinChangeCount_; ++i)
        DisposeHandle(pinChanges_[i]);
    disposeNetItems(nets_);
}

void SpareParts::keepHandle(Handle* spare, Handle h) {
    if (!h) return;
    if (*spare) {
        DisposeHandle(h);
    } else {
        *spare = h;
    }
}

void SpareParts::keep(PackageRecord& r) {
    if (r.sectionTable) {
        auto* sections = reinterpret_cast<ComponentSection*>(r.sectionTable->data);
        for (int i = 0; i < r.sectionCount; ++i) {
            Handle h = sections[i].pinChanges;
            if (!h) continue;
            if (pinChangeCount_ < kMaxSections) {
                pinChanges_[pinChangeCount_++] = h;
            } else {
                DisposeHandle(h);
            }
        }
        SetHandleSize(r.sectionTable, 0); // shrinking keeps the block
    }
    keepHandle(&sectionTable_, std::exchange(r.sectionTable, nullptr));
    keepHandle(&fieldText_, std::exchange(r.fieldText, nullptr));
    r.sectionCount = 0;
    while (NetItem* item = r.hiddenConnections) {
        r.hiddenConnections = item->next;
        if (netCount_ < kMaxNets) {
            item->next = nets_;
            nets_ = item;
            ++netCount_;
        } else {
            disposeNetItem(item);
        }
    }
}

Handle SpareParts::take(Handle* spare, const void* data, Size size) {
    Handle h = std::exchange(*spare, nullptr);
    if (!h) return PtrToHand(data, size);
    if (SetHandleSize(h, size) != noErr) {
        DisposeHandle(h);
        return nullptr;
    }
    if (size > 0) std::memcpy(h->data, data, static_cast<std::size_t>(size));
    return h;
}

Handle SpareParts::pinChanges(const void* data, Size size) {
    Handle* spare = pinChangeCount_ > 0 ? &pinChanges_[--pinChangeCount_] : nullptr;
    Handle none = nullptr;
    return take(spare ? spare : &none, data, size);
}

NetItem* SpareParts::netItem(std::string_view text) {
    NetItem* item = nets_;
    if (!item) return newNetItem(text);
    nets_ = item->next;
    --netCount_;
    item->flags = 0;
    item->next = nullptr;
    setNetItemText(item, text);
    return item;
}

// --- Sinks ------------------------------------------------------------------------------------

OSErr RecordFileSink::storePackage(PackageRecord& pkg) {
    UniqueHandle image;
    OSErr err = flattenPackage(pkg, &image);
    if (err != noErr) return err;
    std::uint32_t position = 0;
    err = file_.writeRecord(kRecordPackage, image.get(), &position);
    if (err != noErr) return err;
    lastRecord_ = position;
    ++stored_;
    return noErr;
}

OSErr PackageFileSink::storePackage(PackageRecord& pkg) {
    OSErr err = records_.storePackage(pkg);
    if (err != noErr) return err;
    PackageEntry* e = newEntry(TrimBlanks(packageFieldView(pkg, kFieldPackageName)), nullptr,
                               records_.lastRecord(), true);
    if (!e) return memFullErr;
    addEntry(file_, e);
    return noErr;
}

// --- The parser's state and actions -----------------------------------------------------------

ImportParser::ImportParser(FileRef file, PackageSink& sink, ImportReporter* reporter)
    : lexer_(file), file_(file), sink_(sink), reporter_(reporter),
      nextProgress_(reporter ? 0 : LONG_MAX) {}

void ImportParser::progress() {
    reporter_->progress(lexer_.position(), fileSize_);
    nextProgress_ = lexer_.position() + kProgressStep;
}

void ImportParser::parserError(const char* message) {
    if (lexer_.errorCode() == kImportOk) parserText_ = message;
    lexer_.abort(kImportSyntax);
}

void ImportParser::stackOverflow() {
    parserError("Yacc internal stack overflow");
}

void ImportParser::takeText(int index, Str255* slot) {
    const std::string_view text = tokens_.text(index); // at most 255 characters
    slot->bytes[0] = static_cast<unsigned char>(text.size());
    std::memcpy(slot->chars(), text.data(), text.size());
    tokens_.release(index);
}

void ImportParser::startPackage(int name, int prefix) {
    if (!active()) return;
    takeText(name, &slots_[0]);
    takeText(prefix, &slots_[1]);
    spares_.keep(package_);
    char text[2 * 255 + 1];
    const Size n1 = slots_[0].length(), n2 = slots_[1].length();
    std::memcpy(text, slots_[0].chars(), n1);
    text[n1] = '\t';
    std::memcpy(text + n1 + 1, slots_[1].chars(), n2);
    package_.fieldText = spares_.fieldText(text, n1 + 1 + n2);
    if (!package_.fieldText) return fail(kImportNoMemory);
    shapeCount_ = 0;
    // A separator or end of line right away is an empty first shape field.
    lexer_.setFieldExpected();
}

void ImportParser::shapeField(int text) {
    if (!active()) return;
    if (shapeCount_ < 4) {
        takeText(text, &slots_[shapeCount_++]);
    } else {
        tokens_.release(text); // a fifth and later shape field is dropped
    }
}

// The shape fields become fields 3 to 6 of the package.
void ImportParser::setShape() {
    if (!active()) return;
    Handle h = package_.fieldText;
    Size total = GetHandleSize(h);
    for (int i = 0; i < shapeCount_; ++i)
        total += 1 + slots_[i].length();
    Size at = GetHandleSize(h);
    if (SetHandleSize(h, total) != noErr) return fail(kImportNoMemory);
    for (int i = 0; i < shapeCount_; ++i) {
        h->data[at++] = '\t';
        std::memcpy(h->data + at, slots_[i].chars(), slots_[i].length());
        at += slots_[i].length();
    }
}

void ImportParser::endHeader() {
    if (!active()) return;
    lexer_.setBackslashAllowed();
    lexer_.markLine();
}

void ImportParser::startNet(int name) {
    if (!active()) return;
    const std::string_view t = tokens_.text(name);
    std::memcpy(netText_, t.data(), t.size());
    netLength_ = static_cast<int>(t.size());
    tokens_.release(name);
}

void ImportParser::addPin(int pin) {
    if (!active()) return;
    const std::string_view t = tokens_.text(pin);
    if (netLength_ + static_cast<int>(t.size()) + 1 < 256) {
        netText_[netLength_++] = '\t';
        std::memcpy(netText_ + netLength_, t.data(), t.size());
        netLength_ += static_cast<int>(t.size());
    } else {
        report(kImportLineTooLong);
    }
    tokens_.release(pin);
}

// The net item is linked at the head; the package's list is reversed when the package ends.
void ImportParser::finishNet() {
    if (!active()) return;
    NetItem* item = spares_.netItem(std::string_view(netText_, netLength_));
    if (!item) return fail(kImportNoMemory);
    pushNetItem(package_, item);
    lexer_.setBackslashAllowed();
    lexer_.markLine();
}

void ImportParser::startSection(std::int32_t classId, std::int32_t announced) {
    if (!active()) return;
    section_ = 0;
    pairCount_ = 0;
    pairLength_ = 0;
    announced_ = announced;
    // A package holds at most 26 sections; the pairs of a section line beyond that are read and
    // counted but kept nowhere.
    if (package_.sectionCount >= kMaxSections) return;
    ComponentSection s;
    s.classId = classId;
    if (!package_.sectionTable) package_.sectionTable = spares_.sectionTable();
    if (addSection(package_, kMaxSections + 1, s) != noErr) return fail(kImportNoMemory);
    section_ = package_.sectionCount;
}

// The pairs of a section line are gathered here and given to the section when the line ends.
void ImportParser::addPair(int unpackaged, int packaged) {
    if (!active()) return;
    const std::string_view a = tokens_.text(unpackaged), b = tokens_.text(packaged);
    const int la = static_cast<int>(a.size()), lb = static_cast<int>(b.size());
    if (pairLength_ + la + lb < 254) {
        if (pairCount_) pairText_[pairLength_++] = '\t';
        std::memcpy(pairText_ + pairLength_, a.data(), a.size());
        pairLength_ += la;
        pairText_[pairLength_++] = '\t';
        std::memcpy(pairText_ + pairLength_, b.data(), b.size());
        pairLength_ += lb;
        ++pairCount_;
    } else {
        report(kImportLineTooLong);
    }
    tokens_.release(unpackaged);
    tokens_.release(packaged);
}

void ImportParser::endSection() {
    if (!active()) return;
    ComponentSection* s = section_ ? sectionAt(package_, section_) : nullptr;
    if (s && pairCount_ > 0) {
        s->pinChanges = spares_.pinChanges(pairText_, pairLength_);
        if (!s->pinChanges) return fail(kImportNoMemory);
        s->pinChangeCount = static_cast<std::uint16_t>(pairCount_);
    }
    if (pairCount_ != announced_) report(kImportPairMismatch);
    if (!pending()) lexer_.markLine();
}

void ImportParser::endPackage() {
    if (!active()) return;
    if (package_.sectionCount == 0) {
        report(kImportNoSections);
    } else {
        reverseNetItems(package_);
        if (store(sink_.storePackage(package_))) ++result_.packagesStored;
    }
    spares_.keep(package_);
    if (!pending()) lexer_.markLine();
}

// The outcome of handing Packages to the sink: a write error is shown with the file error texts
// and ends the import with code 1; running out of memory ends it with code 8.
bool ImportParser::store(OSErr err) {
    if (err == memFullErr) {
        fail(kImportNoMemory);
    } else if (err != noErr) {
        if (reporter_) reporter_->fileError(err);
        fail(kImportErrorShown);
    }
    return err == noErr;
}

void ImportParser::report(std::int16_t code) {
    ++result_.problemsReported;
    if (reporter_) reporter_->importError(describe(code));
}

// The report of a code: its message, the marked line and that line's text read again from the
// file (up to 255 bytes, cut at the first CR).
ImportError ImportParser::describe(std::int16_t code) {
    ImportError e;
    e.code = code;
    e.message = importMessage(code);
    e.lineNumber = lexer_.markedLine();
    if (code == kImportSyntax) e.parserText = parserText_;
    long saved = 0;
    if (GetFPos(file_, &saved) != noErr) return e;
    char line[255];
    long count = sizeof line;
    if (SetFPos(file_, FilePosMode::fromStart, lexer_.markedLineStart()) == noErr) {
        const OSErr err = FSRead(file_, &count, line);
        if (err != noErr && err != eofErr) count = 0;
        long n = 0;
        while (n < count && line[n] != '\r')
            ++n;
        e.lineText.assign(line, static_cast<std::size_t>(n));
    }
    SetFPos(file_, FilePosMode::fromStart, saved);
    return e;
}

ImportResult ImportParser::run() {
    if (GetEOF(file_, &fileSize_) != noErr) fileSize_ = 0;
    const int rc = runImportParser(this);
    if (rc == 0 && active()) store(sink_.finish());
    std::int16_t code = lexer_.errorCode();
    if (code == kImportOk && rc != 0) code = kImportSyntax;
    if (lexer_.readError() != noErr && reporter_) reporter_->fileError(lexer_.readError());
    if (code != kImportOk && code != kImportErrorShown && reporter_)
        reporter_->importError(describe(code));
    if (reporter_) reporter_->progress(lexer_.position(), fileSize_);
    // A package being built when the import failed is dropped.
    package_.disposeContents();
    tokens_.clear();
    result_.code = code;
    return result_;
}

// --- Entry points -----------------------------------------------------------------------------

ImportResult importText(const std::string& textPath, PackageSink& sink, ImportReporter* reporter) {
    FileRef file = 0;
    const OSErr err = FSpOpen(FSSpec::fromPath(textPath), FilePerm::readOnly, &file);
    if (err != noErr) {
        if (reporter) reporter->fileError(err);
        ImportResult failed;
        failed.code = kImportErrorShown;
        return failed;
    }
    ImportResult result;
    try {
        ImportParser parser(file, sink, reporter);
        result = parser.run();
    } catch (const std::bad_alloc&) {
        // Only the reports build strings; without memory for them the import still fails cleanly.
        result.code = kImportNoMemory;
    }
    FSClose(file);
    return result;
}

bool importTextIntoPackageFile(const std::string& textPath, PackageFile* file,
                               ImportReporter* reporter) {
    if (initEntryPool() != noErr) {
        if (reporter) reporter->fileError(memFullErr);
        return false;
    }
    PackageFileSink sink(file);
    return importText(textPath, sink, reporter).ok();
}
