// The command table of qpk. Each command's file registers one Command through a static Registrar;
// everything else about the command comes from that one entry: the parsing of its arguments and
// options (cli/Parse.cpp), its help and usage lines, the manual page made from the help, and the
// bash completion (cli/Help.cpp). docs/ARCHITECTURE.md tells how a command is added.
#pragma once
#include "model/PackageFile.h"

#include <string>
#include <vector>

namespace qpk {

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;

// What an argument is, for the completion (and, with kRepeated or kOptional, for the parsing).
enum ArgumentFlags : unsigned {
    kFile = 1,     // a file name: completed with the file names of the folder
    kCommand = 2,  // a command name: completed with the commands
    kRepeated = 4, // one or more (only the last argument)
    kOptional = 8, // may be left out (only the last argument)
};

struct Argument {
    const char* name; // "FILE", "TEXT"; shown in the usage line and the help
    const char* help; // one line
    unsigned flags = 0;
};

struct Option {
    const char* name;  // "--class"
    const char* value; // the value's name ("MODE"); nullptr for a flag that takes none
    const char* help;  // one line
    // The values it takes, when they are a fixed set; the first is the default.
    std::vector<const char*> choices = {};
};

struct Command;

// The arguments and options a command was given, checked against its entry.
struct Invocation {
    const Command* command = nullptr;
    std::vector<std::string> args; // in the order of the entry's arguments, a repeated one last
    std::vector<std::pair<std::string, std::string>> options; // name, value ("" for a flag)
    bool json = false;                                        // --json, for a command with json

    bool has(const char* option) const;
    // The value the option was given; when it was not, its first choice, or "" without choices.
    std::string value(const char* option) const;
};

struct Command {
    const char* name;
    const char* summary;     // one line, in the list of commands
    const char* description; // the help's text: paragraphs separated by "\n\n", no line breaks
    std::vector<Argument> arguments = {};
    std::vector<Option> options = {};
    // Takes --json: one JSON document on stdout instead of the text (docs/qpk-json.md).
    bool json = false;
    int (*run)(const Invocation& in) = nullptr;
};

// Adds a command to the table; used through a static Registrar in each command's file.
void registerCommand(const Command& command);
// The table, sorted by name.
const std::vector<Command>& commands();
const Command* findCommand(const std::string& name);

struct Registrar {
    explicit Registrar(const Command& command) { registerCommand(command); }
};

// The usage line of a command, without "qpk ": "find FILE TEXT [--class] [--mode MODE] [--json]".
std::string usageLine(const Command& c);
// The help of one command, or of qpk itself for nullptr, as `qpk help` prints it.
std::string helpText(const Command* c);
// Prints "qpk: COMMAND: message" and the command's usage line to stderr; returns kExitUsage.
int usageError(const Command& c, const std::string& message);
// The answer to the bash completion (`qpk __complete WORD...`, the words after "qpk", the last
// the one being completed): "files" or "words" on the first line, then the words that fit.
int complete(const std::vector<std::string>& words);

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
// reportError, then kExitBadInput.
int fail(const std::string& file, const std::string& message);
// True when stderr is a terminal (progress bars are shown only then).
bool stderrIsTerminal();

} // namespace qpk
