// Verification of a record file as it lies on disk, trusting none of its bytes: the checks of
// `qpk check`, also used by the tests and the fuzz target.
//
// Checked: the header; the record chain tiles the file from the first record to the end; every
// record has room to become a free block (data and slack of at least 8 bytes); the free list
// chain names only free blocks, whose size words match their records, without a cycle; every
// package image is internally consistent; the index header (it names a class index record or
// nothing, and the count that record holds); a journal left for the file (a hot one is a fault,
// and the file is then checked as its rollback will leave it); and, when the index is current, the
// class index (well formed, sorted by Class ID, one entry per Class ID naming its first class
// entry in file order) and the class links (each names the next class entry of the same Class
// ID in file order, 0 for the last). A free block that no link names is not a fault (it is only
// lost space until the list is next rebuilt), nor is an index that is out of date.
#pragma once
#include "resources/Types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct VerifyReport {
    std::vector<std::string> faults; // one line per fault, at most kMaxFaultLines
    std::uint64_t faultCount = 0;    // every fault found, listed or not
    static constexpr std::size_t kMaxFaultLines = 1000;

    // What the file holds.
    std::uint64_t fileSize = 0;
    std::uint16_t version = 0;
    bool oldLayout = false;
    std::uint64_t records = 0;
    std::uint64_t packages = 0;
    std::uint64_t sections = 0;
    std::uint64_t nets = 0;
    std::uint64_t freeBlocks = 0; // on the free list
    std::uint64_t freeBytes = 0;  // their data bytes
    std::uint64_t unlistedFreeBlocks = 0;
    std::uint64_t slackBytes = 0;
    bool hasIndexHeader = false;
    bool indexCurrent = false;
    std::uint32_t indexEntries = 0;
    // A journal left for the file: hot (a fault), or cut short before the file changed, which
    // is no fault (the next open for writing deletes it).
    std::string hotJournal;

    bool ok() const { return faultCount == 0; }
    void fault(std::string line);
};

// Verifies the file at path. Returns a file error (and no report) when the file cannot be read
// or is not a record file at all (badSignatureErr, fileTooNewErr...); otherwise noErr, with the
// faults in the report. A journal left for the file is a fault; when it is hot, the file is
// verified as its rollback will leave it.
OSErr verifyRecordFile(const std::string& path, VerifyReport* report);
// The same checks on a file image held in memory.
OSErr verifyRecordBytes(const unsigned char* data, std::size_t length, VerifyReport* report);
