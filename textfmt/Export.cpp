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

static void appendWithCommas(std::string* out, std::string_view text) {
    const std::size_t start = out->size();
    out->append(text);
    std::replace(out->begin() + static_cast<std::ptrdiff_t>(start), out->end(), '\t', ',');
}

static void appendNumber(std::string* out, long value) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    out->append(digits, r.ptr);
}

bool appendImageText(const char* data, std::size_t length, std::string* out) {
    ImageReader sections(data, length), nets(data, length);
    if (!sections.ok()) return false;
    const std::size_t start = out->size();

    std::string_view header = sections.fieldText();
    while (!header.empty() &&
           (header.back() == '\t' || header.back() == '\n' || header.back() == '\r'))
        header.remove_suffix(1);
    appendWithCommas(out, header);

    ImageNet net;
    for (int i = 0; i < nets.header().netCount; ++i) {
        if (!nets.nextNet(&net)) {
            out->resize(start);
            return false;
        }
        out->append("\r\n\t\\");
        appendWithCommas(out, net.text.substr(0, 255));
    }

    ImageSection section;
    for (int i = 0; i < sections.header().sectionCount; ++i) {
        if (!sections.nextSection(&section)) {
            out->resize(start);
            return false;
        }
        out->append("\r\n\t");
        appendNumber(out, section.classId);
        out->push_back(',');
        appendNumber(out, section.pinChangeCount);
        if (section.text.empty()) continue;
        // A TAB in front, then every second TAB from that one on becomes a comma, so that each
        // pair reads TAB, unpackaged pin, comma, packaged pin.
        out->push_back('\t');
        const std::size_t pairs = out->size();
        out->append(section.text);
        bool comma = true;
        for (auto c = out->begin() + static_cast<std::ptrdiff_t>(pairs); c != out->end(); ++c) {
            if (*c == '\t') {
                if (comma) *c = ',';
                comma = !comma;
            }
        }
    }
    out->append("\r\n");
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
            if ((err = writer.written()) != noErr) return false;
            if (hooks.progress) hooks.progress(static_cast<long>(info.position), 0);
            return true;
        });
    return writer.close(err != noErr ? err : scanned);
}
