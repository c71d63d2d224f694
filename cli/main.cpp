// qpk: the command-line tool for librarians' scripts and CI.
#include "cli/Command.h"
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
    table().push_back(command);
}
const std::vector<Command>& commands() {
    return table();
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

bool stderrIsTerminal() {
    return isatty(fileno(stderr)) != 0;
}

} // namespace qpk

static int usage() {
    std::vector<qpk::Command> sorted = qpk::commands();
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return std::strcmp(a.name, b.name) < 0; });
    std::fprintf(stderr, "usage: qpk COMMAND ARGS...\n       qpk --version\n\n");
    for (const auto& c : sorted) {
        // A usage too long for its column puts the summary under it.
        if (std::strlen(c.usage) > 28)
            std::fprintf(stderr, "  qpk %s\n%35s", c.usage, "");
        else
            std::fprintf(stderr, "  qpk %-28s ", c.usage);
        std::fprintf(stderr, "%s\n", c.summary);
    }
    return qpk::kExitUsage;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        usage();
        return qpk::kExitOk;
    }
    if (name == "--version" || name == "version") {
        std::printf("qpk %s\n", OK_VERSION);
        return qpk::kExitOk;
    }
    for (const auto& c : qpk::commands()) {
        if (name == c.name) return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "qpk: unknown command '%s'\n", name.c_str());
    return usage();
}
