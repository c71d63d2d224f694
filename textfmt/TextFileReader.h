// Sequential reads of a text file with a read-ahead block beneath them.
//
// read() hands out exactly the bytes, and the same results, that FSRead calls of the same sizes
// on the file would: noErr while the requested count is there, eofErr with the bytes that are
// left at the end of the file, a file error (with no bytes) when reading fails. Underneath, the
// file is read in blocks that start at the size of the first request and double up to 64 KiB,
// so a small file costs one or two reads and a long one a read per 64 KiB instead of one per
// request. An error met while filling a block is handed out only after every byte before it.
//
// The reader owns the file mark of its file while it runs: a caller that moves the mark in
// between (to look back at earlier text) puts it back before the next read().
//
// A reader can also hand out bytes already read from a file (a piece of a text that is parsed
// apart from the rest): it answers as FSRead would on a file holding just those bytes.
#pragma once
#include "toolbox/core/Files.h"

#include <memory>

class TextFileReader {
public:
    explicit TextFileReader(FileRef file) : file_(file) {}
    TextFileReader(const unsigned char* bytes, long size) : bytes_(bytes), fill_(size) {}

    OSErr read(long* count, void* buffer);

private:
    static constexpr long kMaxBlock = 64 * 1024;

    // Reads the next block; false when nothing came (end of file or error_ set).
    bool fetch(long wanted);

    FileRef file_ = 0;
    const unsigned char* bytes_ = nullptr;   // the bytes handed out, in place of the file
    std::unique_ptr<unsigned char[]> block_; // kMaxBlock bytes, or none when it could not be had
    long blockSize_ = 0;                     // size of the next block to read (0: not started)
    long fill_ = 0;                          // bytes in the block (with bytes_: the bytes' count)
    long at_ = 0;                            // the next of them to hand out
    OSErr error_ = noErr;                    // a read error waiting to be handed out
    bool atEnd_ = false; // the last block came short: no more bytes follow the ones buffered
};
