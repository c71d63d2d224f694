// Opens arbitrary bytes as a record file, read-only and for writing, and exercises everything a
// reader and a save do: iteration, every record and name, the bulk scan, a write, a delete, an
// index rebuild and the close with its compaction. Verification runs on the same bytes. Nothing
// may crash, hang or leak, whatever the bytes.
#include "model/Image.h"
#include "model/RecordFile.h"
#include "model/Verify.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

const std::string& scratchPath() {
    // In memory where the host has it: closing a written file flushes it to the disk.
    static const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string path = dir + "/fuzz_recordfile_" + std::to_string(getpid()) + ".qpk";
    return path;
}

bool writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void readEverything(RecordFile& rf) {
    RecordInfo info;
    for (OSErr err = rf.iterate(kRecordAny, 0, &info); !err && info.position;
         err = rf.iterate(kRecordAny, info.position, &info)) {
        UniqueHandle data;
        rf.readRecord(info.position, &data);
        rf.readName(info.position);
    }
    rf.scanRecords(kRecordPackage, [](const RecordInfo& i, const unsigned char* d) {
        Str255 name;
        imageNameFromFileBytes(d, i.length, &name);
        return true;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VerifyReport report;
    verifyRecordBytes(data, size, &report);

    const std::string& path = scratchPath();
    if (!writeBytes(path, data, size)) return 0;
    std::unique_ptr<RecordFile> rf;
    if (RecordFile::open(path, FilePerm::readOnly, &rf) == noErr) {
        readEverything(*rf);
        rf->close();
    }
    rf.reset();
    if (RecordFile::open(path, FilePerm::readWrite, &rf) == noErr) {
        readEverything(*rf);
        RecordInfo first;
        if (rf->iterate(kRecordPackage, 0, &first) == noErr && first.position)
            rf->deleteRecord(first.position);
        PackageRecord r;
        setPackageField(r, kFieldPackageName, "FUZZ");
        setPackageField(r, kFieldDesignatorPrefix, "U");
        ComponentSection s;
        s.classId = 7;
        addSection(r, 0, s);
        UniqueHandle image;
        std::uint32_t pos;
        if (flattenPackage(r, &image) == noErr) rf->writeRecord(kRecordPackage, image.get(), &pos);
        rf->rebuildClassIndex();
        rf->close();
    }
    rf.reset();
    unlink(path.c_str());
    return 0;
}
