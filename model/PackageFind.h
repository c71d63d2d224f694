// Find: the search that Find and Find Again repeat, the comparison of a text with it, and the
// walk over a package file's list. The Find dialog of the list window and `qpk find` both use
// this code; neither the search nor the walk touches a window or the selection.
#pragma once
#include "model/PackageFile.h"
#include "toolbox/core/Strings.h"

#include <cstdint>
#include <functional>
#include <string_view>

// What a search looks at: the display name, or the Class IDs of the Component Sections, each as
// its signed decimal text ("-12" for -12).
enum class SearchField : std::int16_t { name = 1, classId = 2 };

// Where the search text must be found in a candidate text.
enum class MatchMode : std::int16_t {
    containing = 1,    // anywhere
    beginningWith = 2, // at the start
    endingWith = 3,    // at the end
    matching = 4,      // the whole text
};

// The last search, kept from start-up to quit by its user.
struct PackageSearch {
    Str255 text; // the text to look for, at most 255 characters
    SearchField field = SearchField::name;
    MatchMode mode = MatchMode::containing;
};

// A search made ready for many candidates: the search text is converted to upper case once.
class SearchMatcher {
public:
    explicit SearchMatcher(const PackageSearch& search);

    SearchField field() const { return field_; }
    // True when the candidate matches, case ignored (both converted to upper case). An empty
    // candidate never matches; a candidate longer than 255 characters is cut to 255.
    bool matches(std::string_view candidate);
    // The same for a Class ID's signed decimal text.
    bool matchesClassId(std::int32_t classId);

private:
    bool matchesUpper(std::string_view candidate) const; // candidate not empty, in upper case

    Str255 text_; // the search text in upper case
    SearchField field_;
    MatchMode mode_;
    Str255 candidate_; // the candidate in upper case; reused, so that no call clears 256 bytes
};

// Reports a package whose image cannot be read from its file; the search goes on past it.
using UnreadableImageHook = std::function<void(PackageEntry* e, OSErr err)>;

// Whether one package matches. A name search matches the display name. A Class ID search matches
// the Class IDs of the image's sections in stored order until one matches, and stores it in
// *classId when given; the image is read from the file when it is not in memory and stays in the
// entry. A package without sections does not match; nor does one whose image cannot be read,
// which is reported through unreadable (when set).
bool packageMatches(PackageEntry* e, SearchMatcher& matcher, const UnreadableImageHook& unreadable,
                    std::int32_t* classId = nullptr);

// The first package that matches, walking from e (included) to the end of its list; nullptr
// when none does.
PackageEntry* findPackageFrom(PackageEntry* e, SearchMatcher& matcher,
                              const UnreadableImageHook& unreadable);

// Find and Find Again: the first package of f's list that matches the search, starting at the
// package after the first selected one; at the first package when none is selected or the first
// selected one is the last. The walk never wraps: nullptr when no package from the start to the
// end matches. Neither the list nor the selected marks change; the caller selects the package
// found alone and reveals it.
PackageEntry* findNextPackage(PackageFile* f, const PackageSearch& search,
                              const UnreadableImageHook& unreadable = {});
