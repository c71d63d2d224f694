// What a list window asks of the application, recorded for the window tests.
#pragma once
#include "listwin/ListWindow.h"

#include <vector>

namespace test_support {

struct RecordingListActions final : ListWindowActions {
    mutable std::vector<PackageEntry*> opened; // each entry whose editor was asked for, in order
    mutable PackageFile* closing = nullptr;    // the last file whose close was asked for
    void closePackageFile(PackageFile* file) const override { closing = file; }
    void openEditor(PackageEntry* entry) const override { opened.push_back(entry); }
};

} // namespace test_support
