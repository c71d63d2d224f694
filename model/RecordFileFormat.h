// Byte layout of a record file: the file header, the leader, record headers, free blocks and the
// index structures. Shared by the record file itself and by the verifier, which reads the same
// bytes without trusting them.
#pragma once
#include "model/ByteOrder.h"
#include "resources/Types.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rf {

constexpr std::string_view kSignature = "TWXB";
constexpr std::uint16_t kVersion = 0x0102;          // written into every new file
constexpr std::uint16_t kNewLayoutVersion = 0x0101; // older files use the old layout
constexpr std::uint32_t kFileHeaderSize = 18;       // signature, version, file type, 2 sizes
constexpr std::uint32_t kOldHeaderSize = 6;         // signature and version only
constexpr std::uint32_t kLeaderSize = 46;           // free list head, 40 reserved, mark
constexpr std::uint32_t kOldLeaderSize = 16;        // data of the type 254 record
constexpr std::uint32_t kLeaderMarkOffset = 44;
constexpr std::uint32_t kRecordHeaderSize = 6; // type, header length, data length
constexpr std::uint32_t kMinRecordData = 8;    // every record can later become a free block
constexpr std::uint32_t kMinSplit = kRecordHeaderSize + kMinRecordData; // smallest remainder
constexpr std::uint32_t kIndexHeaderSize = 16;
constexpr std::uint32_t kIndexEntrySize = 8;
constexpr std::uint8_t kFirstContainerType = 251; // types from here up are dropped by compaction
constexpr long kProgressThreshold = 2048;         // rebuilds of larger files report progress code 0
constexpr std::uint64_t kMaxPosition = 0xFFFFFFFFu;

struct FileHeader {
    std::uint16_t version = kVersion;
    char fileType[4] = {'?', '?', '?', '?'};
    std::uint32_t leaderSize = kLeaderSize;
    std::uint32_t reservedSize = 0;
    bool oldLayout = false;
    std::uint64_t recordsStart = 0; // offset of the first record header
};

// Decodes the header from the first bytes of a file of eof bytes (`available` of them given).
// badSignatureErr for a short file or a wrong signature, fileTooNewErr for a newer version,
// noLeaderErr when the leader cannot hold the free list head, eofErr when the header or the
// areas it announces run past the end of the file.
inline OSErr parseFileHeader(const unsigned char* p, std::size_t available, std::uint64_t eof,
                             FileHeader* out) {
    if (eof < kOldHeaderSize || available < kOldHeaderSize) return badSignatureErr;
    if (std::string_view(reinterpret_cast<const char*>(p), 4) != kSignature) return badSignatureErr;
    FileHeader h;
    h.version = getBE16(p + 4);
    if (h.version > kVersion) return fileTooNewErr;
    if (h.version < kNewLayoutVersion) {
        h.oldLayout = true;
        h.leaderSize = 0;
        h.recordsStart = kOldHeaderSize;
        *out = h;
        return noErr;
    }
    if (eof < kFileHeaderSize || available < kFileHeaderSize) return eofErr;
    for (int i = 0; i < 4; ++i)
        h.fileType[i] = static_cast<char>(p[6 + i]);
    h.leaderSize = getBE32(p + 10);
    h.reservedSize = getBE32(p + 14);
    if (h.leaderSize < 4) return noLeaderErr;
    h.recordsStart = std::uint64_t(kFileHeaderSize) + h.leaderSize + h.reservedSize;
    if (h.recordsStart > eof) return eofErr;
    *out = h;
    return noErr;
}

struct RecordHeader {
    std::uint8_t type = 0;
    std::uint8_t headerLength = 0; // 6 plus the slack after the data
    std::uint32_t length = 0;      // data length
    std::uint32_t slack() const { return headerLength > kRecordHeaderSize ? headerLength - 6u : 0; }
    // Bytes the record's data area occupies: data and slack.
    std::uint64_t span() const { return std::uint64_t(length) + slack(); }
};

inline RecordHeader parseRecordHeader(const unsigned char* p) {
    return {p[0], p[1], getBE32(p + 2)};
}
inline void encodeRecordHeader(unsigned char* p, std::uint8_t type, std::uint32_t slack,
                               std::uint32_t length) {
    p[0] = type;
    p[1] = static_cast<unsigned char>(kRecordHeaderSize + slack);
    putBE32(p + 2, length);
}

// Data position of the record that follows the one at pos.
inline std::uint64_t nextRecordPosition(std::uint64_t pos, const RecordHeader& h) {
    return pos + h.headerLength + h.length;
}

// Slack a record of n data bytes is given when it is appended.
inline std::uint32_t minimumSlack(std::uint32_t n) {
    return n < kMinRecordData ? kMinRecordData - n : 0;
}

} // namespace rf
