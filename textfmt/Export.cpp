// Text export: each Package written as its header line, its nets and its sections.
#include "textfmt/Export.h"

#include "model/Image.h"
#include "textfmt/TextFileWriter.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>

const char* exportErrorText(OSErr err) {
    return err == kReplaceOriginalErr ? "You cannot replace the original file." : nullptr;
}

namespace {

// Copies text to p with every TAB turned into a comma; returns the end of the copy.
char* copyWithCommas(char* p, std::string_view text) {
    for (const char c : text)
        *p++ = c == '\t' ? ',' : c;
    return p;
}

char* putNumber(char* p, long value) {
    return std::to_chars(p, p + 24, value).ptr;
}

} // namespace

// The text is written in place into room reserved at the end of out: at most the image's own
// bytes (every text of the image appears once) plus the line starts and numbers added per part.
bool appendImageText(const char* data, std::size_t length, std::string* out) {
    ImageReader sections(data, length), nets(data, length);
    if (!sections.ok()) return false;
    const std::size_t start = out->size();
    constexpr std::size_t kPerNet = 4;                      // CR LF TAB backslash
    constexpr std::size_t kPerSection = 3 + 11 + 1 + 5 + 1; // CR LF TAB, id, comma, count, TAB
    out->resize(start + length + kPerNet * nets.header().netCount +
                kPerSection * sections.header().sectionCount + 2);
    char* const base = out->data();
    char* p = base + start;

    std::string_view header = sections.fieldText();
    while (!header.empty() &&
           (header.back() == '\t' || header.back() == '\n' || header.back() == '\r'))
        header.remove_suffix(1);
    p = copyWithCommas(p, header);

    ImageNet net;
    for (int i = 0; i < nets.header().netCount; ++i) {
        if (!nets.nextNet(&net)) {
            out->resize(start);
            return false;
        }
        p = std::copy_n("\r\n\t\\", 4, p);
        p = copyWithCommas(p, net.text.substr(0, 255));
    }

    ImageSection section;
    for (int i = 0; i < sections.header().sectionCount; ++i) {
        if (!sections.nextSection(&section)) {
            out->resize(start);
            return false;
        }
        p = std::copy_n("\r\n\t", 3, p);
        p = putNumber(p, section.classId);
        *p++ = ',';
        p = putNumber(p, section.pinChangeCount);
        if (section.text.empty()) continue;
        // A TAB in front, then every second TAB from that one on becomes a comma, so that each
        // pair reads TAB, unpackaged pin, comma, packaged pin.
        *p++ = '\t';
        bool comma = true;
        for (const char c : section.text) {
            if (c == '\t') {
                *p++ = comma ? ',' : '\t';
                comma = !comma;
            } else {
                *p++ = c;
            }
        }
    }
    p = std::copy_n("\r\n", 2, p);
    out->resize(static_cast<std::size_t>(p - base));
    return true;
}

OSErr appendIfValid(Handle image, std::string* out) {
    if (!imageIsValid(image)) return noErr;
    try {
        appendImageText(image->data, static_cast<std::size_t>(image->size), out);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

std::string imageToText(Handle image) {
    std::string text;
    if (image) appendImageText(image->data, static_cast<std::size_t>(image->size), &text);
    return text;
}

OSErr exportRecordFile(RecordFile& records, const std::string& textPath, const ExportHooks& hooks) {
    if (FSpSameFile(FSSpec::fromPath(textPath), FSSpec::fromPath(records.path())))
        return kReplaceOriginalErr;
    TextFileWriter writer;
    OSErr err = writer.open(textPath);
    if (err != noErr) return writer.close(err);
    // One block, reused for every image: the record's bytes are copied in and swapped to host
    // order (a malformed image fails the swap and is skipped like an invalid one).
    UniqueHandle image(NewHandle(0));
    if (!image) return writer.close(memFullErr);
    const OSErr scanned =
        records.scanRecords(kRecordPackage, [&](const RecordInfo& info, const unsigned char* data) {
            if ((err = SetHandleSize(image.get(), static_cast<Size>(info.length))) != noErr)
                return false;
            std::memcpy(image.data(), data, info.length);
            if (swapImageToHost(image.data(), info.length) == noErr)
                appendIfValid(image.get(), &writer.buffer());
            if (hooks.progress) hooks.progress(static_cast<long>(info.position), 0);
            return (err = writer.written()) == noErr;
        });
    return writer.close(err != noErr ? err : scanned);
}
