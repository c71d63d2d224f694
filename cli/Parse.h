// Reading a command's words by its entry in the command table.
#pragma once
#include "cli/Command.h"

namespace qpk {

enum class ParseResult { ok, help, error };

// Reads the words after the command's name into *in; help when -h or --help is among them
// (before any "--"), error with *error saying why when they do not fit the command.
ParseResult parseInvocation(const Command& c, const std::vector<std::string>& words, Invocation* in,
                            std::string* error);

} // namespace qpk
