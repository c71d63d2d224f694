// Everything qpk says about its commands, made from the command table: the usage lines, the help
// of qpk and of each command (`qpk help`, `qpk COMMAND --help`), the text the manual page is made
// from (`qpk help --all`, read by help2man at build time) and the answers to the bash
// completion (`qpk __complete`). The commands help and version live here too.
#include "cli/Command.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace qpk {

namespace {

constexpr std::size_t kWidth = 79;
constexpr std::size_t kColumn = 24;        // where the help of an argument or an option starts
constexpr std::size_t kCommandColumn = 12; // where the summary of a command starts

constexpr const char* kAbout =
    "qpk reads, checks, converts and creates the package files of the Ortix Package Editor "
    "(.qpk, .pkg), for scripts and continuous integration.\n\n"
    "A command's arguments and options may come in any order; -- ends the options, so that "
    "every word after it is an argument, even one that begins with \"-\". Errors go to standard "
    "error as \"qpk: FILE: message\". Run \"qpk help COMMAND\" for the arguments and options of "
    "a command.";

// The options of qpk itself; each command also takes -h and --help.
constexpr struct {
    const char* tag;
    const char* help;
} kProgramOptions[] = {
    {"-h, --help", "print this help (after a command: the command's help) and exit"},
    {"--version", "print the version and exit"},
    {"--", "end the options: every later word is an argument"},
};

constexpr const char* kExitStatus[][2] = {
    {"0", "success"},
    {"1", "bad input: a file that cannot be read or is damaged; check: faults; lint: findings; "
          "find: no match"},
    {"2", "a usage error; find and lint: also a file or a package that cannot be read"},
};

// text wrapped to kWidth, each line indented by indent; its paragraphs, separated by "\n\n", stay
// apart by a blank line.
std::string wrap(std::string_view text, std::size_t indent) {
    std::string out, line;
    auto endLine = [&] {
        out.append(indent, ' ');
        out += line + "\n";
        line.clear();
    };
    for (;;) {
        const std::size_t end = text.find("\n\n");
        std::string_view paragraph = text.substr(0, end);
        while (!paragraph.empty()) {
            const std::size_t space = std::min(paragraph.find(' '), paragraph.size());
            if (!line.empty() && indent + line.size() + 1 + space > kWidth) endLine();
            if (!line.empty()) line += ' ';
            line.append(paragraph.substr(0, space));
            paragraph.remove_prefix(std::min(space + 1, paragraph.size()));
        }
        endLine();
        if (end == std::string_view::npos) return out;
        out += '\n';
        text.remove_prefix(end + 2);
    }
}

// "  tag   help", the help starting at column and wrapped there, or on the next line when the tag
// reaches into that column.
std::string row(const std::string& tag, const std::string& help, std::size_t column = kColumn) {
    const std::string text = wrap(help, column);
    const std::string head = "  " + tag;
    if (head.size() + 2 > column) return head + "\n" + text;
    return head + text.substr(head.size());
}

std::string argumentName(const Argument& a) {
    std::string name = a.name;
    if (a.flags & kRepeated) name += "...";
    return a.flags & kOptional ? "[" + name + "]" : name;
}

std::string optionTag(const Option& o, bool inUsage) {
    std::string tag = o.name;
    if (!o.value) return tag;
    if (inUsage && !o.choices.empty()) {
        tag += ' ';
        for (const char* choice : o.choices)
            tag += std::string(choice) + (choice == o.choices.back() ? "" : "|");
        return tag;
    }
    return tag + " " + o.value;
}

std::string optionHelp(const Option& o) {
    std::string help = o.help;
    for (const char* choice : o.choices) {
        help += choice == o.choices.front() ? ": " : choice == o.choices.back() ? " or " : ", ";
        help += choice;
        if (choice == o.choices.front()) help += " (the default)";
    }
    return help;
}

constexpr const char* kJsonHelp =
    "write one JSON document to standard output instead of the text (its layout: "
    "docs/qpk-json.md)";

// The rows of a command's arguments and options; headed "Arguments:" and "Options:" in its own
// help, without headings (and without -h, which every command takes) in the manual, where each
// command is one subsection.
std::string commandRows(const Command& c, bool headings) {
    std::string out;
    if (!c.arguments.empty()) {
        if (headings) out += "\nArguments:\n";
        for (const Argument& a : c.arguments)
            out += row(a.name, a.help);
    }
    if (headings) out += "\nOptions:\n";
    for (const Option& o : c.options)
        out += row(optionTag(o, false), optionHelp(o));
    if (c.json) out += row("--json", kJsonHelp);
    if (headings) out += row("-h, --help", "print this help and exit");
    return out;
}

// The help of qpk itself: the usage, what it does, then the commands, their options and the exit
// codes. In the manual each command is a subsection with all of its help, and the headings are
// help2man's: "*NAME*" makes a section, "Options:" the section of the options.
std::string programHelp(bool manual) {
    std::string out = "Usage: qpk COMMAND [ARGUMENT]... [OPTION]...\n"
                      "  or:  qpk help [COMMAND]\n"
                      "  or:  qpk --version\n\n";
    out += wrap(kAbout, 0);
    out += manual ? "\n*Commands*\n" : "\nCommands:\n";
    for (const Command& c : commands()) {
        if (!manual) {
            out += row(c.name, c.summary, kCommandColumn);
            continue;
        }
        out += "qpk " + usageLine(c) + ":\n";
        out += wrap(c.description, 2) + "\n" + commandRows(c, false);
    }
    out += "\nOptions:\n";
    for (const auto& o : kProgramOptions)
        out += row(o.tag, o.help);
    out += manual ? "\n*Exit status*\n" : "\nExit status:\n";
    for (const auto& [code, meaning] : kExitStatus)
        out += row(code, meaning, kCommandColumn);
    return out;
}

} // namespace

std::string usageLine(const Command& c) {
    std::string line = c.name;
    for (const Argument& a : c.arguments)
        line += " " + argumentName(a);
    for (const Option& o : c.options)
        line += " [" + optionTag(o, true) + "]";
    if (c.json) line += " [--json]";
    return line;
}

std::string helpText(const Command* c) {
    if (!c) return programHelp(false);
    return "Usage: qpk " + usageLine(*c) + "\n\n" + wrap(c->description, 0) + commandRows(*c, true);
}

namespace {

int help(const Invocation& in) {
    if (in.has("--all")) {
        std::fputs(programHelp(true).c_str(), stdout);
        return kExitOk;
    }
    const Command* c = nullptr;
    if (!in.args.empty() && !(c = findCommand(in.args[0])))
        return usageError(*findCommand("help"), "no command named '" + in.args[0] + "'");
    std::fputs(helpText(c).c_str(), stdout);
    return kExitOk;
}

int version(const Invocation&) {
    std::printf("qpk %s\n", OK_VERSION);
    return kExitOk;
}

const Registrar helpCommand({
    .name = "help",
    .summary = "print the help of qpk or of one command",
    .description = "Prints the help of qpk, or with a COMMAND the usage, arguments and options "
                   "of that command, as COMMAND --help does.",
    .arguments = {{"COMMAND", "the command whose help to print", kCommand | kOptional}},
    .options = {{"--all", nullptr,
                 "print the help of qpk and of every command, the text of the manual page"}},
    .run = help,
});

const Registrar versionCommand({
    .name = "version",
    .summary = "print the version (also qpk --version)",
    .description = "Prints the version of qpk, which is the version of Ortix-Kelvane: \"qpk "
                   "VERSION\".",
    .run = version,
});

bool begins(const std::string& word, const std::string& prefix) {
    return word.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

int complete(const std::vector<std::string>& words) {
    const std::string current = words.empty() ? "" : words.back();
    std::string kind = "words";
    std::vector<std::string> offered;
    auto offerCommands = [&] {
        for (const Command& c : commands())
            offered.push_back(c.name);
    };
    const Command* c = words.size() > 1 ? findCommand(words[0]) : nullptr;
    if (words.size() <= 1) {
        offerCommands();
        offered.insert(offered.end(), {"--help", "--version"});
    } else if (c) {
        // Where the current word stands: after "--", after an option that takes a value, or
        // as the next argument.
        bool optionsEnded = false;
        const Option* valueOf = nullptr;
        std::size_t position = 0;
        for (std::size_t i = 1; i + 1 < words.size(); ++i) {
            const std::string& w = words[i];
            valueOf = nullptr;
            if (!optionsEnded && w == "--") {
                optionsEnded = true;
            } else if (!optionsEnded && begins(w, "-") && w.size() > 1) {
                for (const Option& o : c->options)
                    if (o.value && w == o.name) valueOf = &o;
            } else {
                ++position;
            }
        }
        if (valueOf) {
            offered.assign(valueOf->choices.begin(), valueOf->choices.end());
            if (offered.empty()) kind = "files";
        } else if (!optionsEnded && begins(current, "-")) {
            for (const Option& o : c->options)
                offered.push_back(o.name);
            if (c->json) offered.push_back("--json");
            offered.insert(offered.end(), {"--help", "--"});
        } else if (!c->arguments.empty()) {
            const Argument& a = c->arguments[std::min(position, c->arguments.size() - 1)];
            const bool more = position < c->arguments.size() || (a.flags & kRepeated);
            if (more && (a.flags & kFile)) kind = "files";
            if (more && (a.flags & kCommand)) offerCommands();
        }
    }
    std::string out = kind + "\n";
    for (const std::string& w : offered)
        if (begins(w, current)) out += w + "\n";
    std::fputs(out.c_str(), stdout);
    return kExitOk;
}

} // namespace qpk
