// A text import watched from outside: a sink that keeps every stored Package as an image (and
// can fail on one of them), a reporter that keeps what it is told.
#pragma once
#include "model/Image.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"

#include <string>
#include <vector>

namespace test_support {

struct CollectSink : PackageSink {
    std::vector<UniqueHandle> images;
    OSErr failWith = noErr; // returned for the Package numbered failAt (from 1)
    int failAt = 0;
    OSErr storePackage(PackageRecord& pkg) override;
    // The exported text of every stored Package, valid or not (with onlyValid: as the export of
    // a package file writes them, the valid ones alone).
    std::string text(bool onlyValid = false) const;
};

struct RecordingReporter : ImportReporter {
    std::vector<ImportError> errors;
    std::vector<OSErr> fileErrors;
    void importError(const ImportError& e) override { errors.push_back(e); }
    void fileError(OSErr err) override { fileErrors.push_back(err); }
};

struct ImportRun {
    ImportResult result;
    CollectSink sink;
    RecordingReporter reporter;
};

// Imports the bytes from a temporary text file into run.
void importBytes(const std::string& bytes, ImportRun* run);

} // namespace test_support
