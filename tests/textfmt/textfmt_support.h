// Helpers shared by the text format tests: temporary files, a sink that keeps the images, a
// reporter that records what it is told.
#pragma once
#include "model/Image.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace textfmt_test {

// A file in the test's temporary folder, removed at the end of the scope.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string& contents = "", const char* stem = "okt") {
        char name[256];
        std::snprintf(name, sizeof name, "/tmp/%s-%d-XXXXXX", stem, static_cast<int>(getpid()));
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
        std::ofstream(path, std::ios::binary) << contents;
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string read() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

// Keeps every stored Package as an image.
struct CollectSink : PackageSink {
    std::vector<UniqueHandle> images;
    OSErr failWith = noErr; // returned for the Package numbered failAt (from 1)
    int failAt = 0;
    OSErr storePackage(PackageRecord& pkg) override {
        if (failAt && static_cast<int>(images.size()) + 1 == failAt) return failWith;
        UniqueHandle image;
        const OSErr err = flattenPackage(pkg, &image);
        if (err == noErr) images.push_back(std::move(image));
        return err;
    }
    // The exported text of every stored Package, valid or not.
    std::string text() const {
        std::string out;
        for (const auto& i : images)
            appendImageText(i.data(), static_cast<std::size_t>(i.size()), &out);
        return out;
    }
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

inline void importBytes(const std::string& bytes, ImportRun* run) {
    TempFile text(bytes);
    run->result = importText(text.path, run->sink, &run->reporter);
}

} // namespace textfmt_test
