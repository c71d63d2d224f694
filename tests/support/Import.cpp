#include "tests/support/Import.h"

#include "tests/support/Files.h"

namespace test_support {

OSErr CollectSink::storePackage(PackageRecord& pkg) {
    if (failAt && int(images.size()) + 1 == failAt) return failWith;
    UniqueHandle image;
    const OSErr err = flattenPackage(pkg, &image);
    if (err == noErr) images.push_back(std::move(image));
    return err;
}

std::string CollectSink::text(bool onlyValid) const {
    std::string out;
    for (const auto& i : images)
        if (!onlyValid || imageIsValid(i.get()))
            appendImageText(i.data(), std::size_t(i.size()), &out);
    return out;
}

void importBytes(const std::string& bytes, ImportRun* run) {
    TempFile text(bytes);
    run->result = importText(text.path, run->sink, &run->reporter);
}

} // namespace test_support
