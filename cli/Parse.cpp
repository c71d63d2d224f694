// The arguments and options of one command, read by CLI11 from the command's entry: "--" ends
// the options, an option's value comes as the next word or after "=", options and arguments may
// come in any order, a value outside an option's choices is refused, and -h or --help asks for
// the help. This is the only file that includes CLI11.
#include "cli/Parse.h"

#include <CLI/CLI.hpp>

namespace qpk {

ParseResult parseInvocation(const Command& c, const std::vector<std::string>& words, Invocation* in,
                            std::string* error) {
    CLI::App app;
    // One word each, and the words of a repeated argument (the last).
    std::vector<std::string> single(c.arguments.size()), repeated;
    std::vector<CLI::Option*> present;
    for (std::size_t i = 0; i < c.arguments.size(); ++i) {
        const Argument& a = c.arguments[i];
        CLI::Option* o = a.flags & kRepeated ? app.add_option(a.name, repeated)
                                             : app.add_option(a.name, single[i]);
        if (!(a.flags & kOptional)) o->required();
        present.push_back(o);
    }
    std::vector<std::string> values(c.options.size());
    std::vector<CLI::Option*> given;
    for (std::size_t i = 0; i < c.options.size(); ++i) {
        const Option& opt = c.options[i];
        if (!opt.value) {
            given.push_back(app.add_flag(opt.name));
            continue;
        }
        CLI::Option* o = app.add_option(opt.name, values[i])->type_name(opt.value);
        if (!opt.choices.empty())
            o->check(
                CLI::IsMember(std::vector<std::string>(opt.choices.begin(), opt.choices.end())));
        given.push_back(o);
    }
    CLI::Option* json = c.json ? app.add_flag("--json") : nullptr;

    // CLI11 takes the words last first.
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return ParseResult::help;
    } catch (const CLI::ParseError& e) {
        // The words left over say more than what CLI11 found missing because of them.
        std::string extra;
        for (const std::string& w : app.remaining()) {
            if (w.size() > 1 && w[0] == '-') {
                *error =
                    "unknown option " + w + " (an argument that begins with \"-\" goes after --)";
                return ParseResult::error;
            }
            extra += " " + w;
        }
        *error = extra.empty() ? e.what() : "too many arguments:" + extra;
        return ParseResult::error;
    }
    in->command = &c;
    for (std::size_t i = 0; i < c.arguments.size() && present[i]->count(); ++i) {
        if (c.arguments[i].flags & kRepeated)
            in->args.insert(in->args.end(), repeated.begin(), repeated.end());
        else
            in->args.push_back(single[i]);
    }
    for (std::size_t i = 0; i < c.options.size(); ++i)
        if (given[i]->count()) in->options.emplace_back(c.options[i].name, values[i]);
    in->json = json && json->count();
    return ParseResult::ok;
}

} // namespace qpk
