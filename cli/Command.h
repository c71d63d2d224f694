// qpk commands register themselves here; main.cpp dispatches by the first argument.
#pragma once
#include "model/PackageFile.h"

#include <string>
#include <vector>

namespace qpk {

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* usage;                                // e.g. "import TEXT OUT.qpk"
    const char* summary;                              // one line
    int (*run)(const std::vector<std::string>& args); // args after the command name
};

// Adds a command to the table; used through a static Registrar in each command's file.
void registerCommand(const Command& command);
const std::vector<Command>& commands();

struct Registrar {
    explicit Registrar(const Command& command) { registerCommand(command); }
};

// Disposes of an open package file when the command returns.
struct FileCloser {
    PackageFile* f;
    ~FileCloser() { disposePackageFile(f); }
};

// The text of an error code in words, or "error #N" when the table has no text for it.
std::string errorWords(OSErr err);
// The same for an error about the package file at path; a file in use names who holds it.
std::string fileErrorWords(OSErr err, const std::string& path);
// Prints "qpk: FILE: message" to stderr.
void reportError(const std::string& file, const std::string& message);
// True when stderr is a terminal (progress bars are shown only then).
bool stderrIsTerminal();

} // namespace qpk
