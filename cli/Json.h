// The JSON output of the commands that take --json (docs/qpk-json.md). Every value is made and
// escaped by nlohmann-json. A long list is written as its elements come, one a line, so that the
// packages of a large file never stand in memory all at once.
#pragma once
#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace qpk {

// Members keep the order they are given in.
using Json = nlohmann::ordered_json;

// A text of the package file (a name, a field, a pin) as a JSON string: each byte the character
// the program's code page gives it, so that the bytes can be had back (docs/qpk-json.md).
Json jsonText(std::string_view bytes);
// The same into a string value made before, whose room is used again: a million packages then
// cost no allocation each.
void setJsonText(Json& value, std::string_view bytes);
// A value written out on one line; a text that is not UTF-8 (a path) gets U+FFFD where it is not.
std::string jsonLine(const Json& value);

// A JSON document written to stdout as it is made: objects, each with the members given and
// then one list, nested as open() and close() go.
class JsonStream {
public:
    JsonStream() = default;
    JsonStream(const JsonStream&) = delete;
    JsonStream& operator=(const JsonStream&) = delete;
    ~JsonStream() { flush(); }

    // Begins an object (the next element of the list open, if any): head's members, then the
    // list named list.
    void open(const Json& head, const char* list);
    // The next element of the list open.
    void add(const Json& element);
    // Ends the list open, then its object, with tail's members after the list.
    void close(const Json& tail = Json::object());

private:
    void next(); // a comma before every element but the first, each on a line of its own
    void flush();

    std::string out_;
    std::vector<bool> first_; // of each list open: no element yet
};

} // namespace qpk
