// The import of a large text in pieces parsed on worker threads.
//
// A piece starts at the start of a line whose first character (after blanks) begins a field of
// at most 255 characters, so in a well-formed text it is a package's header line, and ends right
// after a line end: after the LF of a CR LF, never between the two. A fresh parser over such a
// piece does exactly what the parser of the whole text does over it, provided the whole text's
// parse arrives at the piece's start in its starting state: between packages, with no field
// expected, nothing pushed back, and no backslash allowed if the field starts with one. The parse
// of the piece before shows whether it does (ImportParser::runPiece): it then reached its own end,
// after its last line end, in that state, and the only difference is the token it read next: end of
// file, where the whole text goes on with that first field, which is read without a failure (it is
// short enough, and its bytes are read already) and in that state reduces the same rules with the
// same actions. So each piece is taken, in order, only once the piece before it was taken; from the
// first piece for which that does not hold (and for what is left after the last piece) the text is
// parsed in line on the calling thread, as if there were no pieces.
//
// The workers only parse: every file call, every report and every Package handed to the sink is
// made by the calling thread, in the order the parse of the whole text would make them. Memory
// stays bounded: a few pieces are read ahead, and a piece's Packages wait flattened in its log.
#include "textfmt/ImportPieces.h"

#include "model/Image.h"
#include "textfmt/ImportParser.h"
#include "textfmt/ImportReport.h"
#include "textfmt/QuickPiece.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A growable block of bytes whose new bytes are left as they are: the text is read into them.
class TextBytes {
public:
    unsigned char* data() { return data_.get(); }
    const unsigned char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    // False when out of memory (the bytes are then as they were).
    bool resize(std::size_t size) {
        if (size > capacity_) {
            const std::size_t capacity = std::max(size, 2 * capacity_);
            std::unique_ptr<unsigned char[]> more(new (std::nothrow) unsigned char[capacity]);
            if (!more) return false;
            if (size_) std::memcpy(more.get(), data_.get(), size_);
            data_ = std::move(more);
            capacity_ = capacity;
        }
        size_ = size;
        return true;
    }
    void swap(TextBytes& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

private:
    std::unique_ptr<unsigned char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

struct Piece {
    long start = 0; // file position of the first byte
    TextBytes text;
    PieceLog log;
    bool done = false;            // parsed (guarded by the workers' lock)
    bool nextIsBackslash = false; // the text after it begins (after blanks) with a backslash
    bool same = false;            // parsing it apart did what parsing it in line does
};

// Threads that parse the pieces handed to them, oldest first.
class PieceWorkers {
public:
    PieceWorkers(int count, bool quickLines) : quickLines_(quickLines) {
        for (int i = 0; i < count; ++i) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break; // as many as the system gives
            }
        }
    }
    // Waits for the pieces being parsed; the ones not yet started are dropped.
    ~PieceWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        more_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    PieceWorkers(const PieceWorkers&) = delete;
    PieceWorkers& operator=(const PieceWorkers&) = delete;

    int count() const { return static_cast<int>(threads_.size()); }

    void parse(Piece* piece) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            piece->done = false;
            queue_.push_back(piece);
        }
        more_.notify_one();
    }

    void waitFor(const Piece* piece) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [piece] { return piece->done; });
    }

private:
    void work() {
        for (;;) {
            Piece* piece;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                more_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                piece = queue_.front();
                queue_.pop_front();
            }
            bool same = false;
            try {
                const unsigned char* const bytes = piece->text.data();
                const long size = static_cast<long>(piece->text.size());
                piece->log.clear();
                same = quickLines_ && parsePieceQuickly(bytes, size, piece->start, &piece->log);
                if (!same) {
                    piece->log.clear();
                    ImportParser parser(bytes, size, piece->start, piece->nextIsBackslash,
                                        &piece->log);
                    same = parser.runPiece();
                }
            } catch (...) {
                // Out of memory: the piece is parsed again in line, where a failure is reported.
                same = false;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                piece->same = same;
                piece->done = true;
            }
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable more_;
    std::condition_variable done_;
    std::deque<Piece*> queue_;
    bool stopping_ = false;
    const bool quickLines_;
    std::vector<std::thread> threads_;
};

// Reads the text from the file mark on and cuts it into pieces.
class PieceCutter {
public:
    PieceCutter(FileRef file, long pieceBytes) : file_(file), pieceBytes_(pieceBytes) {}

    // The next piece into piece; false when no more pieces are cut: the rest of the text, from
    // position(), is left to the parse in line (at the end of the file, after a read error, or
    // when no place to cut turns up within a few pieces' length).
    bool next(Piece* piece) {
        for (;;) {
            if (carry_.size() >= static_cast<std::size_t>(pieceBytes_) || atEnd_) {
                if (const std::size_t cut = findCut()) {
                    piece->start = position_;
                    piece->nextIsBackslash = nextIsBackslash_;
                    piece->text.swap(carry_);
                    // The rest stays for the next piece.
                    const std::size_t rest = piece->text.size() - cut;
                    if (!carry_.resize(rest)) { // give the bytes back: the rest goes in line
                        piece->text.swap(carry_);
                        return false;
                    }
                    if (rest) std::memcpy(carry_.data(), piece->text.data() + cut, rest);
                    piece->text.resize(cut);
                    position_ += static_cast<long>(cut);
                    return true;
                }
            }
            if (atEnd_ || carry_.size() >= 4 * static_cast<std::size_t>(pieceBytes_)) return false;
            if (!readMore()) return false;
        }
    }

    long position() const { return position_; }

private:
    static bool blank(unsigned char c) { return c == ' ' || c == '\v' || c == '\f'; }
    static bool endsLine(unsigned char c) { return c == '\r' || c == '\n'; }
    static bool endsField(unsigned char c) { return c == '\t' || c == ',' || endsLine(c); }

    // The position after the last line end, at or after half a piece's length, whose line goes
    // on, after blanks, with a field of at most 255 characters that ends within the bytes read; 0
    // when there is none. Cutting at the last one leaves little to carry over. A CR followed by
    // an LF is no place to cut: its line end goes on to the LF.
    std::size_t findCut() {
        const unsigned char* const data = carry_.data();
        const std::size_t size = carry_.size();
        const std::size_t low = static_cast<std::size_t>(pieceBytes_ / 2);
        for (std::size_t at = size; at-- > low;) {
            if (!endsLine(data[at])) continue;
            std::size_t first = at + 1;
            while (first < size && blank(data[first]))
                ++first;
            std::size_t end = first;
            while (end < size && !endsField(data[end]))
                ++end;
            if (end < size && end > first && end - first <= TextLexer::kMaxField) {
                nextIsBackslash_ = data[first] == '\\';
                return at + 1;
            }
        }
        return 0;
    }

    bool readMore() {
        // Up to a piece's length, or another piece's length when no place to cut was found.
        const std::size_t had = carry_.size();
        const std::size_t piece = static_cast<std::size_t>(pieceBytes_);
        long count = static_cast<long>(had < piece ? piece - had : piece);
        if (!carry_.resize(had + static_cast<std::size_t>(count))) return false;
        const OSErr err = FSRead(file_, &count, carry_.data() + had);
        if (err != noErr && err != eofErr) count = 0; // the parse in line meets the error again
        carry_.resize(had + static_cast<std::size_t>(count > 0 ? count : 0));
        if (err == eofErr) atEnd_ = true;
        return err == noErr || err == eofErr;
    }

    FileRef file_;
    long pieceBytes_;
    TextBytes carry_;              // read, not yet cut off
    long position_ = 0;            // file position of carry_'s first byte
    bool nextIsBackslash_ = false; // at the last place to cut found
    bool atEnd_ = false;
};

// Hands a piece's reports and Packages on, as the parse in line would have. False when a Package
// could not be stored: the import has then failed, as it would have there.
bool takePiece(const Piece& piece, long firstLine, FileRef file, PackageSink& sink,
               ImportReporter* reporter, ImportResult* result) {
    const unsigned char* const bytes = piece.log.bytes.data();
    for (const PieceEvent& e : piece.log.events) {
        const long line = firstLine + e.markedLine - 1;
        if (e.code != kImportOk) {
            ++result->problemsReported;
            if (reporter)
                reporter->importError(
                    describeImportError(file, e.code, line, e.markedStart, nullptr));
            continue;
        }
        const std::string_view name(reinterpret_cast<const char*>(bytes + e.name), e.nameSize);
        const OSErr err = sink.storeImage(bytes + e.image, e.imageSize, name);
        if (err == noErr) {
            ++result->packagesStored;
            continue;
        }
        // As the parse in line fails there: a file error is shown at once, running out of memory
        // is reported with the line where the import stopped.
        result->code = storeFailureCode(err);
        if (reporter && result->code == kImportErrorShown) reporter->fileError(err);
        if (reporter && result->code == kImportNoMemory)
            reporter->importError(
                describeImportError(file, result->code, line, e.markedStart, nullptr));
        return false;
    }
    return true;
}

} // namespace

OSErr PieceSink::storePackage(PackageRecord& pkg) {
    std::vector<unsigned char>& bytes = log_->bytes;
    const std::size_t at = bytes.size();
    if (OSErr err = flattenPackage(pkg, &bytes)) return err;
    const std::string_view name = TrimBlanks(packageFieldView(pkg, kFieldPackageName));
    PieceEvent e;
    e.markedLine = lexer_->markedLine();
    e.markedStart = lexer_->markedLineStart();
    e.image = static_cast<std::uint32_t>(at);
    e.imageSize = static_cast<std::uint32_t>(bytes.size() - at);
    e.name = e.image + e.imageSize;
    e.nameSize = static_cast<std::uint32_t>(name.size());
    try {
        // Copied as unsigned bytes, which is one block move (chars would go one by one).
        const auto* nameFrom = reinterpret_cast<const unsigned char*>(name.data());
        bytes.insert(bytes.end(), nameFrom, nameFrom + name.size());
        log_->events.push_back(e);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

PiecesOutcome importPieces(FileRef file, long fileSize, PackageSink& sink, ImportReporter* reporter,
                           const ImportTuning& tuning, ImportResume* resume, ImportResult* result) {
    resume->position = 0;
    resume->line = 1;
    int threads = tuning.threads;
    if (threads == 0) threads = static_cast<int>(std::thread::hardware_concurrency());
    if (!sink.takesImages() || threads < 2 || tuning.pieceBytes < 2 || fileSize < tuning.minBytes)
        return PiecesOutcome::resumeInLine;

    std::deque<std::unique_ptr<Piece>> pieces; // read and handed to the workers, in file order
    std::vector<std::unique_ptr<Piece>> spare;
    PieceCutter cutter(file, tuning.pieceBytes);
    // Declared last, so that the workers stop before the pieces they work on go away.
    PieceWorkers workers(threads, tuning.quickLines);
    if (workers.count() == 0) return PiecesOutcome::resumeInLine;
    const std::size_t ahead = static_cast<std::size_t>(workers.count()) + 1;

    bool cutting = true;
    long line = 1;
    for (;;) {
        while (cutting && pieces.size() < ahead) {
            std::unique_ptr<Piece> piece;
            if (!spare.empty()) {
                piece = std::move(spare.back());
                spare.pop_back();
            } else {
                piece.reset(new (std::nothrow) Piece);
            }
            if (!piece || !cutter.next(piece.get())) {
                cutting = false;
                break;
            }
            workers.parse(piece.get());
            pieces.push_back(std::move(piece));
        }
        if (pieces.empty()) break;
        Piece& piece = *pieces.front();
        workers.waitFor(&piece);
        if (!piece.same) break;
        if (!takePiece(piece, line, file, sink, reporter, result)) {
            if (reporter) reporter->progress(piece.start, fileSize);
            return PiecesOutcome::importOver;
        }
        line += piece.log.lines;
        if (reporter)
            reporter->progress(piece.start + static_cast<long>(piece.text.size()), fileSize);
        spare.push_back(std::move(pieces.front()));
        pieces.pop_front();
    }
    resume->position = pieces.empty() ? cutter.position() : pieces.front()->start;
    resume->line = line;
    return PiecesOutcome::resumeInLine;
}
