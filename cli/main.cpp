// qpk: the command-line tool for librarians' scripts and CI. main finds the command by its name,
// reads its arguments and options by its entry (cli/Parse.cpp) and runs it.
#include "cli/Command.h"
#include "cli/Parse.h"
#include "model/RecordFile.h"
#include "toolbox/core/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace qpk {

static std::vector<Command>& table() {
    static std::vector<Command> t;
    return t;
}

void registerCommand(const Command& command) {
    auto& t = table();
    t.insert(std::upper_bound(t.begin(), t.end(), command,
                              [](const Command& a, const Command& b) {
                                  return std::strcmp(a.name, b.name) < 0;
                              }),
             command);
}

const std::vector<Command>& commands() {
    return table();
}

const Command* findCommand(const std::string& name) {
    for (const Command& c : table())
        if (name == c.name) return &c;
    return nullptr;
}

bool Invocation::has(const char* option) const {
    return std::any_of(options.begin(), options.end(),
                       [&](const auto& o) { return o.first == option; });
}

std::string Invocation::value(const char* option) const {
    for (const auto& [name, value] : options)
        if (name == option) return value;
    for (const Option& o : command->options)
        if (o.name == std::string_view(option) && !o.choices.empty()) return o.choices.front();
    return "";
}

std::string errorWords(OSErr err) {
    const std::string_view text = ErrorMessage(err);
    if (!text.empty()) return std::string(text);
    return "error #" + std::to_string(err & 0x1FFFFFF);
}

std::string fileErrorWords(OSErr err, const std::string& path) {
    std::string words = errorWords(err);
    if (err == hotJournalErr) return words + " (" + RecordFile::journalPath(path) + ")";
    if (err != fBsyErr) return words;
    char line[512];
    std::snprintf(line, sizeof line, std::string(GetStringEntry(StringId::lockedBy)).c_str(),
                  RecordFile::lockHolder(path).c_str());
    return words + " " + line;
}

void reportError(const std::string& file, const std::string& message) {
    std::fprintf(stderr, "qpk: %s: %s\n", file.c_str(), message.c_str());
}

int fail(const std::string& file, const std::string& message) {
    reportError(file, message);
    return kExitBadInput;
}

int usageError(const Command& c, const std::string& message) {
    std::fprintf(stderr, "qpk: %s: %s\nusage: qpk %s\n", c.name, message.c_str(),
                 usageLine(c).c_str());
    return kExitUsage;
}

bool stderrIsTerminal() {
    return isatty(fileno(stderr)) != 0;
}

} // namespace qpk

int main(int argc, char** argv) {
    using namespace qpk;
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::fputs(helpText(nullptr).c_str(), stderr);
        return kExitUsage;
    }
    // The program's own options stand for the commands of the same name.
    std::string name = words[0];
    if (name == "__complete") return complete({words.begin() + 1, words.end()});
    if (name == "-h" || name == "--help") name = "help";
    if (name == "--version") name = "version";
    const Command* c = findCommand(name);
    if (!c) {
        std::fprintf(stderr, "qpk: unknown command '%s'\n\n%s", name.c_str(),
                     helpText(nullptr).c_str());
        return kExitUsage;
    }
    Invocation in;
    std::string error;
    switch (parseInvocation(*c, {words.begin() + 1, words.end()}, &in, &error)) {
    case ParseResult::help:
        std::fputs(helpText(c).c_str(), stdout);
        return kExitOk;
    case ParseResult::error:
        return usageError(*c, error);
    case ParseResult::ok:
        break;
    }
    return c->run(in);
}
