// The record file container. (Work in progress: operations report paramErr until implemented.)
#include "model/RecordFile.h"

struct RecordFile::State {
    std::string path;
    std::string name;
    bool readOnly = true;
    bool open = false;
    RecordFileProgress progress;
};

RecordFile::RecordFile(std::unique_ptr<State> state) : s_(std::move(state)) {}
RecordFile::~RecordFile() = default;

OSErr RecordFile::create(const std::string&, const char*, const char*, const char[4],
                         std::uint32_t) {
    return paramErr;
}
OSErr RecordFile::open(const std::string&, bool, std::unique_ptr<RecordFile>* out) {
    if (out) out->reset();
    return paramErr;
}
OSErr RecordFile::iterate(std::uint8_t, std::uint32_t, RecordInfo* next) {
    if (next) *next = RecordInfo{};
    return paramErr;
}
OSErr RecordFile::readRecord(std::uint32_t, UniqueHandle* data) {
    if (data) data->reset();
    return paramErr;
}
Str255 RecordFile::readName(std::uint32_t) { return Str255("?"); }
OSErr RecordFile::writeRecord(std::uint8_t, Handle, std::uint32_t* position) {
    if (position) *position = 0;
    return paramErr;
}
OSErr RecordFile::deleteRecord(std::uint32_t) { return paramErr; }
OSErr RecordFile::markIndexOutOfDate() { return paramErr; }
OSErr RecordFile::rebuildClassIndex() { return paramErr; }
OSErr RecordFile::close() { return paramErr; }
void RecordFile::setReadOnly() { s_->readOnly = true; }
bool RecordFile::isReadOnly() const { return s_->readOnly; }
bool RecordFile::isOpen() const { return s_->open; }
bool RecordFile::indexOutOfDate() const { return true; }
void RecordFile::setProgress(RecordFileProgress progress) { s_->progress = std::move(progress); }
const std::string& RecordFile::path() const { return s_->path; }
const std::string& RecordFile::fileName() const { return s_->name; }
