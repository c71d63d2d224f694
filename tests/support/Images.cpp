#include "tests/support/Images.h"

namespace test_support {

PackageRecord buildPackage(const PackageContents& contents) {
    PackageRecord r;
    for (std::size_t i = 0; i < contents.fields.size(); ++i)
        setPackageField(r, int(i) + 1, contents.fields[i]);
    for (const SectionContents& s : contents.sections) {
        ComponentSection section;
        section.classId = s.classId;
        addSection(r, kMaxSections + 1, section); // out of range: at the end
        for (const auto& [from, to] : s.pins)
            appendPinPair(r, r.sectionCount, from, to);
    }
    for (const std::string& net : contents.nets)
        insertNetItem(r, countNetItems(r) + 1, newNetItem(std::string_view(net)));
    return r;
}

UniqueHandle buildImage(const PackageContents& contents) {
    UniqueHandle image;
    flattenPackage(buildPackage(contents), &image);
    return image;
}

UniqueHandle packageImage(const std::string& name, std::initializer_list<std::int32_t> ids,
                          const std::string& tag) {
    PackageContents contents{{name, "U", "DIP"}, {}, {"GND\t" + tag}};
    for (std::int32_t id : ids)
        contents.sections.push_back({id, {{tag, tag}}});
    return buildImage(contents);
}

UniqueHandle sizedImage(std::uint32_t length, char fill) {
    UniqueHandle h(NewHandleClear(Size(length)));
    putHost16(h.data() + 6, std::uint16_t(length - kImageHeaderSize));
    for (std::uint32_t i = kImageHeaderSize; i < length; ++i)
        h.data()[i] = fill;
    return h;
}

std::vector<char> bytesOf(Handle h) {
    return h ? std::vector<char>(h->data, h->data + h->size) : std::vector<char>{};
}

std::vector<char> withoutLinks(Handle h) {
    std::vector<char> b = bytesOf(h);
    ImageHeader ih;
    if (readImageHeader(b.data(), b.size(), &ih))
        for (int k = 0; k < ih.classCount; ++k)
            setImageClassLink(b.data(), b.size(), k, 0);
    return b;
}

} // namespace test_support
