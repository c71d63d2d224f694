#include "cli/Json.h"
#include "toolbox/core/CodePage.h"

#include <cstdio>

namespace qpk {

Json jsonText(std::string_view bytes) {
    return CodePageToUtf8(bytes);
}

void setJsonText(Json& value, std::string_view bytes) {
    std::string& text = value.get_ref<std::string&>();
    text.clear();
    CodePageAppendUtf8(bytes, &text);
}

std::string jsonLine(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void JsonStream::next() {
    if (first_.empty()) return;
    if (!first_.back()) out_ += ',';
    first_.back() = false;
    out_ += '\n';
}

void JsonStream::open(const Json& head, const char* list) {
    next();
    std::string members = jsonLine(head);
    members.pop_back(); // the closing brace: the list follows
    out_ += members;
    if (!head.empty()) out_ += ',';
    out_ += jsonLine(list);
    out_ += ":[";
    first_.push_back(true);
}

void JsonStream::add(const Json& element) {
    next();
    out_ += jsonLine(element);
    if (out_.size() > 1 << 16) flush();
}

void JsonStream::close(const Json& tail) {
    if (!first_.back()) out_ += '\n';
    out_ += ']';
    first_.pop_back();
    for (const auto& [key, value] : tail.items()) {
        out_ += ',';
        out_ += jsonLine(key);
        out_ += ':';
        out_ += jsonLine(value);
    }
    out_ += '}';
    if (first_.empty()) {
        out_ += '\n';
        flush();
    }
}

void JsonStream::flush() {
    std::fwrite(out_.data(), 1, out_.size(), stdout);
    out_.clear();
}

} // namespace qpk
