#include "tests/support/Files.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace test_support {

namespace {

std::string tempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

} // namespace

ScratchDir::ScratchDir() : path(tempFolder() + "/oktestXXXXXX") {
    if (!mkdtemp(path.data())) path.clear();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

ScratchStateFolder::ScratchStateFolder() {
    if (const char* old = std::getenv("XDG_STATE_HOME")) {
        previous = old;
        had = true;
    }
    setenv("XDG_STATE_HOME", folder.path.c_str(), 1);
}

ScratchStateFolder::~ScratchStateFolder() {
    if (had)
        setenv("XDG_STATE_HOME", previous.c_str(), 1);
    else
        unsetenv("XDG_STATE_HOME");
}

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TempFile::TempFile(const std::string& contents) : path(tempFolder() + "/oktestXXXXXX") {
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    std::ofstream(path, std::ios::binary) << contents;
}

TempFile::~TempFile() {
    std::remove(path.c_str());
}

std::string TempFile::read() const {
    return readText(path);
}

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<unsigned char> hexBytes(const std::string& path) {
    const std::string source = readText(path);
    std::vector<unsigned char> out;
    auto hex = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i < source.size();) {
        const char c = source[i];
        if (c == '#') {
            i = source.find('\n', i);
        } else if (c == '"') {
            const std::size_t end = source.find('"', i + 1);
            out.insert(out.end(), source.begin() + long(i) + 1, source.begin() + long(end));
            i = end + 1;
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            const auto byte = static_cast<unsigned char>(hex(c) * 16 + hex(source[i + 1]));
            i += 2;
            std::size_t count = 1, digits = 0;
            if (i < source.size() && source[i] == '*') {
                count = std::stoul(source.substr(i + 1), &digits);
                i += 1 + digits;
            }
            out.insert(out.end(), count, byte);
        } else {
            ++i;
        }
        if (i == std::string::npos) break;
    }
    return out;
}

FileFault failingCall(FileCall call, long nth, OSErr code, bool shortWrite) {
    FileFault f;
    f.call = call;
    f.nth = nth;
    f.code = code;
    f.shortWrite = shortWrite;
    return f;
}

} // namespace test_support
