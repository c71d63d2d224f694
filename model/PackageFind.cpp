// Find: matching texts against the search, and the walk over a package list.
#include "model/PackageFind.h"

#include "model/Image.h"

#include <charconv>

SearchMatcher::SearchMatcher(const PackageSearch& search)
    : text_(search.text), field_(search.field), mode_(search.mode) {
    PStrUpper(text_);
}

bool SearchMatcher::matches(std::string_view candidate) {
    if (candidate.empty()) return false;
    candidate_.assign(candidate);
    PStrUpper(candidate_);
    return matchesUpper(candidate_.view());
}

bool SearchMatcher::matchesClassId(std::int32_t classId) {
    // Digits and the minus sign are their own upper case.
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, classId).ptr;
    return matchesUpper(std::string_view(text, std::size_t(end - text)));
}

bool SearchMatcher::matchesUpper(std::string_view c) const {
    const std::string_view t = text_.view();
    switch (mode_) {
    case MatchMode::containing:
        return c.find(t) != std::string_view::npos;
    case MatchMode::beginningWith: // the first occurrence is at the start
        return c.starts_with(t);
    case MatchMode::endingWith:
        // Some occurrence, of all those found one after another from the first, starts where the
        // text would end the candidate: the candidate ends with the text, even when an earlier
        // occurrence does not (1212 ends with 12).
        return c.ends_with(t);
    case MatchMode::matching: // the first occurrence is at the start and as long as the candidate
        return c == t;
    }
    return false;
}

bool packageMatches(PackageEntry* e, SearchMatcher& matcher, const UnreadableImageHook& unreadable,
                    std::int32_t* classId) {
    if (matcher.field() != SearchField::classId) return matcher.matches(displayNameView(e));
    OSErr err = noErr;
    Handle image = getImage(e, &err);
    if (!image) {
        if (err && unreadable) unreadable(e, err);
        return false;
    }
    ImageReader reader(image);
    for (ImageSection s; reader.nextSection(&s);) {
        if (matcher.matchesClassId(s.classId)) {
            if (classId) *classId = s.classId;
            return true;
        }
    }
    return false;
}

PackageEntry* findPackageFrom(PackageEntry* e, SearchMatcher& matcher,
                              const UnreadableImageHook& unreadable) {
    for (; e; e = e->next)
        if (packageMatches(e, matcher, unreadable)) return e;
    return nullptr;
}

PackageEntry* findNextPackage(PackageFile* f, const PackageSearch& search,
                              const UnreadableImageHook& unreadable) {
    if (!f) return nullptr;
    // The walk to the first selected package and the search after it together pass over each
    // package once.
    PackageEntry* start = f->packages;
    for (PackageEntry* e = f->packages; e; e = e->next) {
        if (e->flags & kSelected) {
            if (e->next) start = e->next;
            break;
        }
    }
    SearchMatcher matcher(search);
    return findPackageFrom(start, matcher, unreadable);
}
