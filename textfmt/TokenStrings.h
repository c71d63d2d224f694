// Token strings: the owned copies of the token texts that a text import's grammar holds between
// reading a token and reducing the rule that takes it.
#pragma once
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

// Owned copies of token texts, addressed by index: length-prefixed strings laid end to end in
// one block, the index of a text being its offset there. The grammar takes every text soon after
// it is saved, so only a few are alive at once; when the last one alive is released the block is
// used again from its start, so it never grows past the texts alive together.
class TokenStrings {
public:
    int save(std::string_view text) { // -1 when out of memory
        const std::size_t length = text.size() > 255 ? 255 : text.size();
        if (used_ + 1 + length > chars_.size() && !grow(1 + length)) return -1;
        char* const at = chars_.data() + used_;
        *at = static_cast<char>(length);
        std::memcpy(at + 1, text.data(), length);
        const int index = static_cast<int>(used_);
        used_ += 1 + length;
        ++alive_;
        return index;
    }
    std::string_view text(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= used_) return {};
        return {chars_.data() + index + 1, static_cast<unsigned char>(chars_[index])};
    }
    void release(int index) {
        if (index >= 0 && static_cast<std::size_t>(index) < used_ && --alive_ == 0) used_ = 0;
    }
    void clear();

private:
    bool grow(std::size_t more);

    std::vector<char> chars_;
    std::size_t used_ = 0;
    int alive_ = 0;
};
