// Token strings: growing and emptying the block of texts.
#include "textfmt/TokenStrings.h"

#include <algorithm>
#include <new>

bool TokenStrings::grow(std::size_t more) {
    try {
        chars_.resize(std::max<std::size_t>(1024, 2 * (used_ + more)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void TokenStrings::clear() {
    std::vector<char>().swap(chars_);
    used_ = 0;
    alive_ = 0;
}
