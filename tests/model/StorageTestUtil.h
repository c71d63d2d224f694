// Helpers shared by the storage tests: packages with chosen contents, scratch folders, raw bytes.
#pragma once
#include "model/Image.h"
#include "model/Package.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace storage_test {

// A valid package image: name, prefix "U", one section per Class ID (each with one pin pair
// that includes `tag`), and one net item.
inline UniqueHandle packageImage(const std::string& name, std::initializer_list<std::int32_t> ids,
                                 const std::string& tag = "1") {
    PackageRecord r;
    setPackageField(r, kFieldPackageName, name);
    setPackageField(r, kFieldDesignatorPrefix, "U");
    setPackageField(r, kFieldShape, "DIP");
    for (std::int32_t id : ids) {
        ComponentSection s;
        s.classId = id;
        s.pinChangeCount = 1;
        const std::string pins = tag + "\t" + tag;
        s.pinChanges = PtrToHand(pins.data(), Size(pins.size()));
        addSection(r, 0, s);
    }
    pushNetItem(r, newNetItem(std::string_view("GND\t" + tag)));
    UniqueHandle image;
    flattenPackage(r, &image);
    return image;
}

// An image of exactly `length` bytes (at least 8): no sections, the rest field text.
inline UniqueHandle sizedImage(std::uint32_t length, char fill = 'x') {
    UniqueHandle h(NewHandleClear(Size(length)));
    putHost16(h.data() + 6, std::uint16_t(length - kImageHeaderSize));
    for (std::uint32_t i = kImageHeaderSize; i < length; ++i)
        h.data()[i] = fill;
    return h;
}

inline std::vector<char> bytesOf(Handle h) {
    return h ? std::vector<char>(h->data, h->data + h->size) : std::vector<char>{};
}

// The image with its class links cleared, for comparing contents across index rebuilds.
inline std::vector<char> withoutLinks(Handle h) {
    std::vector<char> b = bytesOf(h);
    ImageHeader ih;
    if (readImageHeader(b.data(), b.size(), &ih))
        for (int k = 0; k < ih.classCount; ++k)
            setImageClassLink(b.data(), b.size(), k, 0);
    return b;
}

inline std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A fresh scratch folder for one test, removed with everything in it when the test ends.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/okstoreXXXXXX";
        if (!mkdtemp(path.data())) path.clear();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
};

} // namespace storage_test
