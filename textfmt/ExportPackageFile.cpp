// Save As Text of an open package file (the entries' images are fetched through the file layer).
#include "model/Image.h"
#include "textfmt/Export.h"
#include "textfmt/TextFileWriter.h"

OSErr exportText(PackageFile* file, const std::string& textPath, const ExportHooks& hooks) {
    if (!file || !file->recordFile) return paramErr;
    if (FSpSameFile(FSSpec::fromPath(textPath), FSSpec::fromPath(file->recordFile->path())))
        return kReplaceOriginalErr;
    TextFileWriter writer;
    OSErr err = writer.open(textPath);
    long done = 0;
    for (PackageEntry* e = file->packages; e && err == noErr; e = e->next) {
        if (file->editors && (err = file->editors->commit(e)) != noErr) break;
        Handle image = getImage(e, &err);
        if (!image) {
            if (err == noErr) err = paramErr;
            break;
        }
        if ((err = appendIfValid(image, &writer.buffer())) != noErr) break;
        purgeEntry(e);
        err = writer.written();
        if (hooks.progress) hooks.progress(++done, file->packageCount);
    }
    return writer.close(err);
}
