#include "shell/FileCommands.h"

#include "editor/PackageEditor.h"

#include "listwin/Confirmations.h"
#include "listwin/ListWindow.h"
#include "model/PackageFileIO.h"
#include "shell/ImportErrors.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"
#include "toolbox/core/Files.h"
#include "toolbox/core/StringTable.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/FileDialogs.h"
#include "toolbox/gui/Quickdraw.h"
#include "toolbox/gui/StatusWindow.h"

#include <cstdio>
#include <filesystem>

namespace {

// ---- state -----------------------------------------------------------------------------------
int gOpenFilter = 0; // the filter the last Open dialog ended with

// The folder the program was started in.
const std::string gStartFolder = [] {
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}();

// ---- dialogs and texts -----------------------------------------------------------------------
constexpr std::int16_t kSaveItem = 1;
constexpr std::int16_t kCancelItem = 2;
constexpr std::int16_t kDiscardItem = 3;
constexpr std::int16_t kQuestionItem = 4;

constexpr const char* kNewPrompt = "Create new file:";
constexpr const char* kNewDefaultName = "Untitled.qpk";
constexpr const char* kConvertPrompt = "Convert to package file:";
constexpr const char* kSaveTextPrompt = "Save text as:";
constexpr const char* kProtectedText = "You cannot replace the original file!";
constexpr const char* kUpdatingIndex = "Updating Index...";
constexpr int kUnsavedNamed = 3; // the note after a save names this many unsaved packages

constexpr FileTypeFilter kPackageFilters[] = {{"Packaging Files", "QPK"}};
constexpr FileTypeFilter kTextFilters[] = {{"Text Files", "TXT"}};
constexpr FileTypeFilter kOpenFilters[] = {
    {"`Package Files (*.qpk, *.pkg)", "*.QPK;*.PKG"},
    {"Text Files", "TXT"},
    {"All Files", "*"},
};

// Long work shows the watch cursor; the arrow comes back when the command ends.
struct ArrowWhenDone {
    ~ArrowWhenDone() { SetCursor(arrowCursor); }
};

// The progress callbacks of every record file the application opens: "Updating Index..." in
// the status window while a large index is rebuilt, the watch cursor for each record visited.
RecordFileProgress progressCallbacks() {
    RecordFileProgress p;
    p.indexProgress = [](int phase) {
        if (phase == 0) {
            SetStatusText(kUpdatingIndex);
        } else if (phase == 1) {
            SetStatusText(nullptr);
        }
        SetCursor(watchCursor);
    };
    p.step = [] { SetCursor(watchCursor); };
    return p;
}

std::string fileNameOf(const PackageFile* f) {
    return f->recordFile ? f->recordFile->fileName() : std::string();
}

std::string formatWithName(const char* format, const std::string& name,
                           const std::string& more = {}) {
    char text[1024];
    std::snprintf(text, sizeof text, format, name.c_str(), more.c_str());
    return text;
}

// A storage message of the string table, with the file's name and one more text.
std::string storageText(StringId id, const std::string& name, const std::string& more = {}) {
    return formatWithName(std::string(GetStringEntry(id)).c_str(), name, more);
}

// The text of a file error without the "Error:  " of the error alert.
std::string errorWords(OSErr err) {
    const std::string_view text = ErrorMessage(err);
    return text.empty() ? ErrorText(err) : std::string(text);
}

// A file open for writing elsewhere (another editor, a qpk command) may be opened read-only,
// after asking. Its images are read at once: the other writer's saves must not change what this
// window shows.
OSErr openReadOnlyAfterAsking(const std::string& path, PackageFile** out) {
    const std::string question = storageText(
        StringId::openReadOnlyQuestion, FSSpec::fromPath(path).name, RecordFile::lockHolder(path));
    if (!confirmDiscard(question)) return cancelledErr;
    SetCursor(watchCursor);
    OSErr err = openPackageFile(path, FilePerm::readOnly, progressCallbacks(), out);
    for (PackageEntry* e = *out ? (*out)->packages : nullptr; e && !err; e = e->next)
        if (!getImage(e, &err)) err = err ? err : memFullErr;
    if (err && *out) {
        disposePackageFile(*out);
        *out = nullptr;
    }
    return err;
}

// What a list window asks of the application: closing its file with the save question, and the
// package editor of an entry. It holds nothing: every list window is given the same one.
class ListActions final : public ListWindowActions {
public:
    void closePackageFile(PackageFile* file) const override {
        closeFile(file, CloseMode::askToSave);
    }
    void openEditor(PackageEntry* entry) const override { ::openEditor(entry); }
};
constexpr ListActions kListActions;

// Puts a package file into the open list and shows its list window. A window that cannot be
// made takes the package file with it (closed, forced), and its error is returned.
OSErr addAndShow(PackageFile* f) {
    addPackageFile(f);
    const OSErr err = showListWindow(f, &kListActions);
    if (err) closeFile(f, CloseMode::forced);
    return err;
}

// The conversion of a text file chosen in the Open dialog into a new package file, *out. The
// import reports its own errors; a class index that cannot be rebuilt is shown and the file
// still opens.
OSErr convertTextFile(const std::string& textPath, PackageFile** out) {
    const std::string textName = FSSpec::fromPath(textPath).name;
    PackageFile* f = nullptr;
    if (OSErr err = createFile(kConvertPrompt, replaceExtension(textName, "qpk"),
                               CreateMode::fileOnly, textPath, &f);
        err || !f)
        return err;
    DialogImportReporter reporter;
    SetCursor(watchCursor);
    // The new file is filled without a journal: should the import fail, the file keeps the
    // Packages written before the failure, exactly as written.
    OSErr err = f->recordFile->setJournaling(Journaling::off);
    if (err || !importTextIntoPackageFile(textPath, f, &reporter)) {
        closeFile(f, CloseMode::forced);
        return err;
    }
    if (OSErr err = f->recordFile->rebuildClassIndex()) ErrorAlert(err);
    // Its later saves go through the journal again.
    if (OSErr err = f->recordFile->setJournaling(Journaling::on)) ErrorAlert(err);
    reversePackageList(f);
    if (OSErr err = addAndShow(f)) return err;
    *out = f;
    return noErr;
}

bool sameFile(const std::string& a, const std::string& b) {
    return FSpSameFile(FSSpec::fromPath(a), FSSpec::fromPath(b));
}

// An open package file at path, found by its path or as the same file on disk.
PackageFile* openFileAt(const std::string& path) {
    if (PackageFile* f = findPackageFileByPath(path)) return f;
    for (PackageFile* f = firstPackageFile(); f; f = f->next)
        if (f->recordFile && sameFile(f->recordFile->path(), path)) return f;
    return nullptr;
}

std::string folderOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

// Where the New, Open and Save As Text dialogs start: in the folder of the current package
// file, or while there is none in the folder the program was started in.
std::string dialogFolder() {
    const PackageFile* f = currentPackageFile();
    return f && f->recordFile ? folderOf(f->recordFile->path()) : gStartFolder;
}

// After a save, the packages still modified are those it did not write because they are not
// valid: a note names the first few, counts them all and says that the file keeps them as they
// were saved last.
void noteUnsaved(PackageFile* f) {
    int count = 0;
    std::string names;
    for (const PackageEntry* e = f->packages; e; e = e->next) {
        if (!(e->flags & kModified) || ++count > kUnsavedNamed) continue;
        names += (count > 1 ? ", \"" : "\"") + std::string(displayNameView(e)) + "\"";
    }
    if (count == 0) return;
    if (count > kUnsavedNamed) names += ", ...";
    char text[512];
    const std::string format(GetStringEntry(StringId::packagesNotSaved));
    std::snprintf(text, sizeof text, format.c_str(), count, names.c_str());
    NoteAlert(text);
}

// Opens path as a package file (see openFile) and returns the error, not shown; *out is the
// package file, nullptr when none opened.
OSErr openFileAtPath(const std::string& path, NonPackageFile nonPackage, PackageFile** out) {
    *out = openFileAt(path);
    if (*out) return showListWindow(*out, &kListActions);
    ArrowWhenDone arrow;
    SetCursor(watchCursor);
    PackageFile* f = nullptr;
    OSErr err = openPackageFile(path, FilePerm::readWrite, progressCallbacks(), &f);
    if (err == fBsyErr) {
        SetCursor(arrowCursor);
        err = openReadOnlyAfterAsking(path, &f);
    }
    if (err == noErr) {
        err = addAndShow(f);
        if (err == noErr) *out = f;
        return err;
    }
    SetCursor(arrowCursor);
    if (err != badSignatureErr) return err;
    // Not a package file: dropped without a word, or offered for conversion from text.
    return nonPackage == NonPackageFile::ignore ? noErr : convertTextFile(path, out);
}

// ---- the commands ----------------------------------------------------------------------------

// Each command returns the error it ends with, for the menu dispatcher to show; a refusal with
// a text of its own is a note the command shows itself.

OSErr newCommand() {
    PackageFile* f = nullptr;
    return createFile(kNewPrompt, kNewDefaultName, CreateMode::openWindow, {}, &f);
}

OSErr openCommand() {
    StandardFileReply reply = StandardGetFile(kOpenFilters, gOpenFilter, dialogFolder());
    if (!reply.good) return noErr;
    gOpenFilter = reply.filterIndex;
    PackageFile* f = nullptr;
    return openFileAtPath(reply.fileSpec.path, NonPackageFile::offerConversion, &f);
}

OSErr saveAsTextCommand(PackageFile* f) {
    StandardFileReply reply =
        StandardPutFile(kSaveTextPrompt, replaceExtension(fileNameOf(f), "TXT").c_str(),
                        kTextFilters, dialogFolder());
    if (!reply.good) return noErr;
    const std::string& path = reply.fileSpec.path;
    if (sameFile(path, f->recordFile->path())) {
        NoteAlert(exportErrorText(kReplaceOriginalErr));
        return noErr;
    }
    if (PackageFile* other = openFileAt(path)) {
        if (closeFile(other, CloseMode::forced) == CloseResult::cancelled) return noErr;
    }
    ArrowWhenDone arrow;
    ExportHooks hooks;
    hooks.progress = [](long, long) { SetCursor(watchCursor); };
    OSErr err = exportText(f, path, hooks);
    SetCursor(arrowCursor);
    if (const char* refusal = exportErrorText(err)) {
        NoteAlert(refusal);
        return noErr;
    }
    return err;
}

OSErr revertCommand(PackageFile* f) {
    if (!confirmDiscardChanges(fileNameOf(f))) return noErr;
    ArrowWhenDone arrow;
    closeFileEditors(f, Validation::skip); // never cancelled without validation
    const OSErr err = revertPackageFile(f);
    refreshListWindow(f, ListRefresh::keepScroll);
    updateCount(f);
    return err;
}

} // namespace

// ---- public ----------------------------------------------------------------------------------

std::string replaceExtension(const std::string& name, const char* extension) {
    std::string result = name;
    const std::size_t dot = name.find('.', 1);
    if (dot != std::string::npos) result.erase(dot);
    result += '.';
    result += extension;
    return result;
}

int rememberedOpenFilter() {
    return gOpenFilter;
}

PackageFile* openFile(const std::string& path, NonPackageFile nonPackage) {
    PackageFile* f = nullptr;
    ErrorAlert(openFileAtPath(path, nonPackage, &f));
    return f;
}

OSErr createFile(const std::string& prompt, const std::string& defaultName, CreateMode mode,
                 const std::string& protectedPath, PackageFile** out) {
    *out = nullptr;
    // The conversion's dialog starts beside the text file.
    StandardFileReply reply = StandardPutFile(
        prompt.empty() ? kNewPrompt : prompt.c_str(), defaultName.c_str(), kPackageFilters,
        protectedPath.empty() ? dialogFolder() : folderOf(protectedPath));
    if (!reply.good) return noErr;
    const std::string& path = reply.fileSpec.path;
    if (!protectedPath.empty() && sameFile(path, protectedPath)) {
        NoteAlert(kProtectedText);
        return noErr;
    }
    if (PackageFile* open = openFileAt(path)) {
        if (closeFile(open, CloseMode::forced) == CloseResult::cancelled) return noErr;
    }
    ArrowWhenDone arrow;
    PackageFile* f = nullptr;
    if (OSErr err = createPackageFile(path, progressCallbacks(), &f)) {
        SetCursor(arrowCursor);
        return err;
    }
    if (mode == CreateMode::openWindow) {
        if (OSErr err = addAndShow(f)) return err;
    }
    *out = f;
    return noErr;
}

CloseResult closeFile(PackageFile* f, CloseMode mode) {
    const bool forced = mode == CloseMode::forced;
    bool save = false;
    if (!forced && isModified(f)) {
        const char* format = mode == CloseMode::askBeforeQuitting
                                 ? "Save changes to \"%s\" before quitting?"
                                 : "Save changes to \"%s\" before closing?";
        switch (RunTextDialog(DialogId::saveQuestion, kQuestionItem,
                              formatWithName(format, fileNameOf(f)).c_str())) {
        case kSaveItem:
            save = true;
            break;
        case kDiscardItem:
            break;
        case kCancelItem:
        default: // the close box as well
            return CloseResult::cancelled;
        }
    }
    // Its package editors close first, validating only with Save; one that stays open cancels
    // the close.
    if (closeFileEditors(f, save ? Validation::ask : Validation::skip) == CloseResult::cancelled)
        return CloseResult::cancelled;
    ArrowWhenDone arrow;
    // Nothing unsaved is lost: neither after an error nor when packages stayed unsaved.
    if (save && (saveFile(f) != noErr || isModified(f))) return CloseResult::cancelled;
    SetCursor(watchCursor);
    // Forced, the record file is marked read-only first, so that closing it writes nothing.
    // Here nothing is left unsaved, so the close never keeps the user: a complete close that
    // fails (its changes rolled back) closes as the file was last saved, and a compaction that
    // cannot be made is left out; the user is told either way.
    OSErr notCompacted = noErr;
    if (OSErr err = closePackageFileRecords(f, forced ? RecordClose::forced : RecordClose::complete,
                                            &notCompacted)) {
        SetCursor(arrowCursor);
        if (!forced)
            NoteAlert(storageText(StringId::closedAsSaved, fileNameOf(f), errorWords(err)).c_str());
        closePackageFileRecords(f, RecordClose::forced);
    } else if (notCompacted) {
        SetCursor(arrowCursor);
        NoteAlert(storageText(StringId::closedUncompacted, fileNameOf(f), errorWords(notCompacted))
                      .c_str());
    }
    removePackageFile(f);
    disposeListWindow(f);
    disposePackageFile(f);
    return CloseResult::closed;
}

CloseResult closeAllFiles(CloseMode mode) {
    while (PackageFile* f = firstPackageFile())
        if (closeFile(f, mode) == CloseResult::cancelled) return CloseResult::cancelled;
    return CloseResult::closed;
}

OSErr saveFile(PackageFile* f) {
    ArrowWhenDone arrow;
    SetCursor(watchCursor);
    // Open package editors commit their pending changes, entry by entry.
    OSErr err = savePackageFile(f);
    SetCursor(arrowCursor);
    // A failed save changed nothing in the file and kept every change: the user may free space
    // and save again, or write the changes out with Save As Text.
    if (err == fileMovedErr)
        NoteAlert(storageText(StringId::fileMovedKept, fileNameOf(f)).c_str());
    else if (err != noErr && err != cancelledErr)
        NoteAlert(storageText(StringId::saveFailedKept, ErrorText(err), fileNameOf(f)).c_str());
    if (err == noErr) noteUnsaved(f);
    return err;
}

bool fileCommand(std::int16_t command, OSErr* err) {
    PackageFile* current = currentPackageFile();
    OSErr result = noErr;
    switch (command) {
    case kCmdNew:
        result = newCommand();
        break;
    case kCmdOpen:
        result = openCommand();
        break;
    case kCmdSave:
        if (current) saveFile(current); // its own note tells what became of the file
        break;
    case kCmdSaveAsText:
        if (current) result = saveAsTextCommand(current);
        break;
    case kCmdRevertFile:
        if (current) result = revertCommand(current);
        break;
    case kCmdExit:
        // Handled when a close was cancelled: the quit goes no further.
        return closeAllFiles(CloseMode::askBeforeQuitting) == CloseResult::cancelled;
    default:
        return false;
    }
    // A File command's memFullErr is a file error like any other, shown with the error alert's
    // text; the dispatcher's memory note is the report of the copying commands.
    if (result == memFullErr)
        ErrorAlert(result);
    else
        *err = result;
    return true;
}

bool fileMenuEnabling(MenuEnableRecord& rec) {
    PackageFile* current = currentPackageFile();
    switch (rec.command) {
    case kCmdFileMenu:
        rec.enabled = true;
        return true;
    case kCmdNew:
    case kCmdOpen:
    case kCmdExit:
        rec.enabled = true;
        return true;
    case kCmdClose:
    case kCmdSaveAsText:
        rec.enabled = current && FrontWindow();
        return true;
    case kCmdSave:
    case kCmdRevertFile:
        rec.enabled = current && FrontWindow() && isModified(current);
        return true;
    default:
        rec.enabled = false;
        return true;
    }
}
