// Text import: the sinks, the parser's semantic actions and the entry points.
#include "textfmt/Import.h"

#include "model/Image.h"
#include "textfmt/ImportParser.h"
#include "textfmt/ImportReport.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

int runImportParser(ImportParser* p); // ImportGrammar.y

constexpr long kProgressStep = 64 * 1024;

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

OSErr RecordFileSink::storeImage(const unsigned char* image, Size size, std::string_view) {
    // The record file only reads the bytes a handle names; this one names the caller's.
    HandleBlock view;
    view.data = const_cast<char*>(reinterpret_cast<const char*>(image));
    view.size = view.capacity = size;
    std::uint32_t position = 0;
    const OSErr err = file_.writeRecord(kRecordPackage, &view, &position);
    if (err != noErr) return err;
    lastRecord_ = position;
    ++stored_;
    return noErr;
}

OSErr PackageFileSink::storePackage(PackageRecord& pkg) {
    OSErr err = records_.storePackage(pkg);
    if (err != noErr) return err;
    return addStoredEntry(TrimBlanks(packageFieldView(pkg, kFieldPackageName)));
}

OSErr PackageFileSink::storeImage(const unsigned char* image, Size size,
                                  std::string_view displayName) {
    OSErr err = records_.storeImage(image, size, displayName);
    if (err != noErr) return err;
    return addStoredEntry(displayName);
}

OSErr PackageFileSink::addStoredEntry(std::string_view displayName) {
    PackageEntry* e = newEntry(displayName, nullptr, records_.lastRecord(), ImageState::stored);
    if (!e) return memFullErr;
    addEntry(file_, e);
    return noErr;
}

// --- The parser's state and actions -----------------------------------------------------------

ImportParser::ImportParser(FileRef file, PackageSink& sink, ImportReporter* reporter)
    : lexer_(file), file_(file), pieceSink_(nullptr, nullptr), sink_(sink), reporter_(reporter),
      nextProgress_(reporter ? 0 : LONG_MAX) {}

ImportParser::ImportParser(const unsigned char* bytes, long size, long start, bool nextIsBackslash,
                           PieceLog* log)
    : lexer_(bytes, size, start), log_(log), pieceSink_(log, &lexer_), sink_(pieceSink_),
      reporter_(nullptr), nextProgress_(start + size), pieceEnd_(start + size),
      nextIsBackslash_(nextIsBackslash) {}

void ImportParser::progress() {
    if (log_) return reachEndOfPiece();
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

void ImportParser::startSection(std::int64_t classId, std::int64_t announced) {
    if (!active()) return;
    section_ = 0;
    pairCount_ = 0;
    pairLength_ = 0;
    announced_ = announced;
    // A number no section can hold is reported, and the section is dropped: its pairs are read
    // and kept nowhere, and its count is not compared.
    sectionDropped_ = !fitsInt32(classId) || !fitsInt32(announced);
    if (sectionDropped_) return report(kImportNumberRange);
    // A package holds at most 26 sections; the pairs of a section line beyond that are read and
    // counted but kept nowhere.
    if (package_.sectionCount >= kMaxSections) return;
    ComponentSection s;
    s.classId = static_cast<std::int32_t>(classId);
    if (!package_.sectionTable) package_.sectionTable = spares_.sectionTable();
    if (addSection(package_, kMaxSections + 1, s) != noErr) return fail(kImportNoMemory);
    section_ = package_.sectionCount;
}

// The pairs of a section line are gathered here and given to the section when the line ends.
void ImportParser::addPair(int unpackaged, int packaged) {
    if (!active()) return;
    const std::string_view a = tokens_.text(unpackaged), b = tokens_.text(packaged);
    const int la = static_cast<int>(a.size()), lb = static_cast<int>(b.size());
    if (sectionDropped_) {
        // The pairs of a dropped section count for nothing.
    } else if (pairLength_ + la + lb < 254) {
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
    if (!sectionDropped_ && pairCount_ != announced_) report(kImportPairMismatch);
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
    if (err == noErr) return true;
    const std::int16_t code = storeFailureCode(err);
    if (code == kImportErrorShown && reporter_) reporter_->fileError(err);
    fail(code);
    return false;
}

// A piece's parse has reached the piece's end: the next token is the end of file there, where
// the whole text goes on.
void ImportParser::reachEndOfPiece() {
    pieceEndClean_ =
        lexer_.position() == pieceEnd_ && lexer_.readsNextFieldAfresh(nextIsBackslash_);
    nextProgress_ = LONG_MAX;
}

void ImportParser::report(std::int16_t code) {
    ++result_.problemsReported;
    if (log_) {
        PieceEvent e;
        e.code = code;
        e.markedLine = lexer_.markedLine();
        e.markedStart = lexer_.markedLineStart();
        log_->events.push_back(e);
    } else if (reporter_) {
        reporter_->importError(describe(code));
    }
}

ImportError ImportParser::describe(std::int16_t code) {
    return describeImportError(file_, code, lexer_.markedLine(), lexer_.markedLineStart(),
                               parserText_);
}

bool ImportParser::runPiece() {
    const int rc = runImportParser(this);
    log_->lines = lexer_.lineNumber() - 1;
    package_.disposeContents();
    tokens_.clear();
    return rc == 0 && lexer_.errorCode() == kImportOk && pieceEndClean_;
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

ImportResult importText(const std::string& textPath, PackageSink& sink, ImportReporter* reporter,
                        const ImportTuning& tuning) {
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
        long size = 0;
        if (GetEOF(file, &size) != noErr) size = 0;
        ImportResume resume;
        if (importPieces(file, size, sink, reporter, tuning, &resume, &result) ==
            PiecesOutcome::resumeInLine) {
            ImportParser parser(file, sink, reporter);
            const OSErr moved = SetFPos(file, FilePosMode::fromStart, resume.position);
            if (moved != noErr) {
                if (reporter) reporter->fileError(moved);
                result.code = kImportErrorShown;
            } else {
                parser.resumeAt(resume.position, resume.line, result);
                result = parser.run();
            }
        }
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
