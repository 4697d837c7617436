#include "CommandLine.h"

#include "CliWav.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>

namespace quelsor::cli {

namespace {

    constexpr std::size_t kHelpWidth = 79; // columns
    // An option's names and value wider than this put its description on the next line.
    constexpr std::size_t kWidestBeside = 25;

    // Columns of UTF-8 text ("Gén. DTMF"): its bytes that start a character.
    std::size_t Columns(const std::string& text)
    {
        return static_cast<std::size_t>(
            std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    }

    // The words of a text; a quotation ("# BLOCK CHAR") is one.
    std::vector<std::string> Words(const std::string& text)
    {
        std::istringstream in(text);
        std::vector<std::string> words;
        for (std::string word; in >> word; words.push_back(word)) {
            for (std::string more;
                 std::count(word.begin(), word.end(), '"') % 2 != 0 && in >> more;)
                word += ' ' + more;
        }
        return words;
    }

    // Appends words to out, whose last line has reached `column`: the first one at `indent`,
    // the others after a space; a word that would go past kHelpWidth begins a new line at indent.
    void AppendWrapped(std::string& out, std::size_t column, std::size_t indent,
        const std::vector<std::string>& words)
    {
        for (const std::string& word : words) {
            if (column < indent) {
                out.append(indent - column, ' ');
            } else if (column + 1 + Columns(word) > kHelpWidth) {
                out += '\n' + std::string(indent, ' ');
                column = indent;
            } else {
                out += ' ';
                ++column;
            }
            column = std::max(column, indent) + Columns(word);
            out += word;
        }
    }

    bool Repeatable(const CLI::Option& option) { return option.get_expected_max() > 1; }
    std::string WithValue(const CLI::Option& option, const std::string& names)
    {
        return option.get_expected_max() != 0 ? names + ' ' + option.get_option_text() : names;
    }

    // "-o, --output FILE"
    std::string NamesAndValue(const CLI::Option& option)
    {
        std::string names;
        for (const std::string& name : option.get_snames())
            names += (names.empty() ? "-" : ", -") + name;
        for (const std::string& name : option.get_lnames())
            names += (names.empty() ? "--" : ", --") + name;
        return WithValue(option, names);
    }

    // "[-o FILE]", "--answer COMMAND=ANSWER...": the option's first name.
    std::string Synopsis(const CLI::Option& option)
    {
        const std::string name = option.get_snames().empty() ? "--" + option.get_lnames().front()
                                                             : "-" + option.get_snames().front();
        const std::string usage = WithValue(option, name);
        return (option.get_required() ? usage : '[' + usage + ']')
            + (Repeatable(option) ? "..." : "");
    }

    // The help of a command, from its declarations: the usage line (the options in their order,
    // those of a group other than "Options" as "[GROUP]", then the operands), the description,
    // the options of each group with their descriptions, the footer.
    class HelpFormatter : public CLI::Formatter {
    public:
        std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override
        {
            std::vector<std::string> usage;
            std::set<std::string> groups;
            for (const CLI::Option* option : app->get_options()) {
                if (option->check_lname("help") || option->get_positional())
                    continue;
                if (option->get_group() == "Options")
                    usage.push_back(Synopsis(*option));
                else if (groups.insert(option->get_group()).second)
                    usage.push_back('[' + option->get_group() + ']');
            }
            // Every operand is needed: checked by CLI11, or by the command itself.
            for (const CLI::Option* option : app->get_options())
                if (option->get_positional())
                    usage.push_back(option->get_name() + (Repeatable(*option) ? "..." : ""));
            std::string text = "Usage: quelsor-cli " + app->get_name();
            AppendWrapped(text, Columns(text), Columns(text) + 1, usage);
            text += '\n';
            if (!app->get_description().empty())
                text += '\n' + app->get_description();
            for (const std::string& group : app->get_groups())
                text += OptionList(*app, group);
            if (!app->get_footer().empty())
                text += '\n' + app->get_footer();
            return text;
        }

    private:
        static std::string OptionList(const CLI::App& app, const std::string& group)
        {
            const auto options = app.get_options([&group](const CLI::Option* option) {
                return option->get_group() == group && option->nonpositional();
            });
            if (options.empty())
                return {};
            std::size_t column = 0; // of the descriptions
            for (const CLI::Option* option : options) {
                const std::size_t width = 2 + Columns(NamesAndValue(*option));
                if (width <= kWidestBeside)
                    column = std::max(column, width + 2);
            }
            std::string text = '\n' + group + ":\n";
            for (const CLI::Option* option : options) {
                std::string line = "  " + NamesAndValue(*option);
                std::size_t at = Columns(line);
                if (at + 2 > column) {
                    line += '\n';
                    at = 0;
                }
                AppendWrapped(line, at, column,
                    Words(
                        option->get_description() + (option->get_required() ? " (required)" : "")));
                text += line + '\n';
            }
            return text;
        }
    };

    // The first required option or operand not given, in the order of the declarations as CLI11
    // checks them.
    std::string Missing(const CLI::App& app)
    {
        for (const CLI::Option* option : app.get_options()) {
            if (option->get_required() && option->count() == 0)
                return "missing " + option->get_name()
                    + (option->get_positional() ? "" : ' ' + option->get_option_text());
        }
        return "missing argument";
    }

    // An option given more than once, or else the last argument, an option without its value (CLI11
    // takes the argument after an option as its value, whatever it is).
    std::string Mismatch(const CLI::App& app, const std::vector<std::string>& args)
    {
        for (const CLI::Option* option : app.get_options()) {
            if (option->get_multi_option_policy() == CLI::MultiOptionPolicy::Throw
                && static_cast<int>(option->count()) > std::max(option->get_expected_max(), 1))
                return option->get_name() + " is given more than once";
        }
        const std::string last = args.empty() ? "" : args.back();
        return last.substr(0, last.find('=')) + " needs a value";
    }

} // namespace

CommandLine::CommandLine(
    const char* command, const std::string& description, const std::string& footer)
    : command_(command)
    , app_(description, command)
{
    app_.footer(footer);
    app_.set_help_flag(); // ours is added last (Parse), to come last in the help
    app_.allow_extras(); // refused by LeftOver, in our words
    app_.formatter(std::make_shared<HelpFormatter>());
}

std::optional<int> CommandLine::Parse(const std::vector<std::string>& args)
{
    // Seen as soon as it is read: a help asked for wins over the errors of the other arguments.
    app_.add_flag_callback(
            "-h,--help", [] { throw CLI::CallForHelp(); }, "show this help")
        ->trigger_on_parse();
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // as CLI11 takes them
    std::string problem;
    try {
        app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app_.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ValidationError& error) {
        // "NAME: " and the check's own words.
        const std::string what = error.what();
        problem = what.substr(std::min(what.find(": ") + 2, what.size()));
    } catch (const CLI::RequiredError&) {
        problem = Missing(app_);
    } catch (const CLI::ArgumentMismatch&) {
        problem = Mismatch(app_, args);
    } catch (const CLI::ParseError& error) {
        problem = error.what();
    }
    // An argument that nothing took comes first: the other errors may follow from it.
    if (const std::string leftOver = LeftOver(); !leftOver.empty())
        problem = leftOver;
    if (problem.empty())
        return std::nullopt;
    return UsageError(problem);
}

int CommandLine::UsageError(const std::string& problem) const
{
    std::fprintf(stderr, "quelsor-cli %s: %s\nRun 'quelsor-cli %s --help' for usage.\n", command_,
        problem.c_str(), command_);
    return 2;
}

std::string CommandLine::LeftOver()
{
    bool operands = false; // after "--"
    for (const std::string& arg : app_.remaining()) {
        if (arg == "--" && !operands) {
            operands = true;
            continue;
        }
        const bool dashed = !operands && arg.size() > 1 && arg[0] == '-';
        if (dashed && arg[1] != '-' && dashedOperands_ != nullptr)
            dashedOperands_->push_back(arg);
        else
            return (dashed ? "unknown option '" : "unexpected argument '") + arg + "'";
    }
    return {};
}

CLI::Validator Accepting(
    const std::string& what, const std::string& expected, std::function<bool(std::string&)> accepts)
{
    return CLI::Validator(
        [what, expected, accepts](std::string& value) {
            const std::string given = value;
            return accepts(value) ? std::string()
                                  : "invalid " + what + " '" + given + "'"
                    + (expected.empty() ? "" : " (expected " + expected + ")");
        },
        std::string());
}

CLI::Validator Decimal(int min, int max, const std::string& what, const std::string& expected)
{
    return Accepting(what, expected, [min, max](std::string& value) {
        int number = 0;
        if (!ParseInteger(value, number) || number < min || number > max)
            return false;
        value = std::to_string(number);
        return true;
    });
}

CLI::Validator NotEmpty(const std::string& problem)
{
    return CLI::Validator(
        [problem](std::string& value) { return value.empty() ? problem : std::string(); },
        std::string());
}

} // namespace quelsor::cli
