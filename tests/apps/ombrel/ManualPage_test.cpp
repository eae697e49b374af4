// The options of every subcommand as its --help lists them, as the manual page ombrel(1) documents
// them and as the bash completion offers them: the three must not drift apart.

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "tests/apps/ombrel/OmbrelStreamsTest.h"

namespace ombrel {
namespace {

using test::ReadFileText;

const std::vector<std::string> kSubcommands = {"prepare",     "estimate", "convert", "tie-draws", "diagnose",
                                               "importances", "simulate", "holdout", "report"};

std::set<std::string> OptionsIn(const std::string& text, const std::regex& pattern) {
    std::set<std::string> options;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator();
         ++it)
        options.insert((*it)[1].str());
    options.erase("help");
    return options;
}

// The manual page's section of a subcommand: from its ".SS "ombrel NAME" heading to the next heading.
std::string PageSection(const std::string& page, const std::string& subcommand) {
    std::string name = subcommand;
    for (size_t at = name.find('-'); at != std::string::npos; at = name.find('-', at + 2))
        name.replace(at, 1, "\\-");
    const size_t start = page.find(".SS \"ombrel " + name);
    if (start == std::string::npos) return "";
    const size_t end = page.find("\n.S", start + 1);
    return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The completion's option list of a subcommand: its "NAME) options=\"...\"" line.
std::string CompletionLine(const std::string& completion, const std::string& subcommand) {
    const size_t start = completion.find("        " + subcommand + ") options=\"");
    if (start == std::string::npos) return "";
    return completion.substr(start, completion.find('\n', start) - start);
}

class ManualPage : public test::OmbrelStreamsTest {};

TEST_F(ManualPage, TheHelpThePageAndTheCompletionListTheSameOptions) {
    const std::string page = ReadFileText(std::string(OMBREL_SOURCE_DIR) + "/docs/man/ombrel.1");
    const std::string completion =
        ReadFileText(std::string(OMBREL_SOURCE_DIR) + "/data/ombrel.bash-completion");
    ASSERT_FALSE(page.empty());
    ASSERT_FALSE(completion.empty());
    const std::regex helpOption(R"((?:^|\n)\s+(?:-h,)?--([a-z][a-z-]*))");
    // In the page a "-" is "\\-": an option is a run of letters and escaped dashes after "\\-\\-".
    const std::regex pageOption(R"(\\fB\\-\\-([a-z](?:[a-z]|\\-)*))");
    const std::regex pageBoldOption(R"(\n\.B[IR]? \\-\\-([a-z](?:[a-z]|\\-)*))");
    const std::regex pageSecondOption(R"(", " \\-\\-([a-z](?:[a-z]|\\-)*))");
    const std::regex completionOption(R"(--([a-z][a-z-]*))");
    for (const std::string& subcommand : kSubcommands) {
        Reopen();
        ASSERT_EQ(RunCommand({subcommand, "--help"}), 0) << subcommand;
        const std::set<std::string> help = OptionsIn(Out(), helpOption);
        const std::string section = PageSection(page, subcommand);
        ASSERT_FALSE(section.empty()) << "no section for " << subcommand;
        std::set<std::string> documented = OptionsIn(section, pageBoldOption);
        for (const std::string& option : OptionsIn(section, pageSecondOption)) documented.insert(option);
        for (const std::string& option : OptionsIn(section, pageOption)) documented.insert(option);
        std::set<std::string> unescaped;
        for (std::string option : documented) {
            for (size_t at = option.find("\\-"); at != std::string::npos; at = option.find("\\-"))
                option.replace(at, 2, "-");
            unescaped.insert(option);
        }
        EXPECT_EQ(unescaped, help) << "ombrel(1) and ombrel " << subcommand << " --help";
        EXPECT_EQ(OptionsIn(CompletionLine(completion, subcommand), completionOption), help)
            << "the completion and ombrel " << subcommand << " --help";
    }
}

TEST_F(ManualPage, EverySubcommandOfTheHelpHasItsSectionAndItsCompletion) {
    ASSERT_EQ(RunCommand({"--help"}), 0);
    const std::string help = Out();
    const std::string page = ReadFileText(std::string(OMBREL_SOURCE_DIR) + "/docs/man/ombrel.1");
    const std::string completion =
        ReadFileText(std::string(OMBREL_SOURCE_DIR) + "/data/ombrel.bash-completion");
    std::set<std::string> listed;
    const std::regex subcommand(R"(\n  ([a-z][a-z-]*)\s{2,})");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), subcommand); it != std::sregex_iterator();
         ++it)
        listed.insert((*it)[1].str());
    EXPECT_EQ(listed, std::set<std::string>(kSubcommands.begin(), kSubcommands.end()));
    for (const std::string& name : kSubcommands) EXPECT_FALSE(PageSection(page, name).empty()) << name;
    const size_t start = completion.find("local subcommands=\"");
    ASSERT_NE(start, std::string::npos);
    const std::string line = completion.substr(start + 19, completion.find('"', start + 19) - start - 19);
    std::set<std::string> completed;
    const std::regex word(R"([a-z][a-z-]*)");
    for (auto it = std::sregex_iterator(line.begin(), line.end(), word); it != std::sregex_iterator(); ++it)
        completed.insert(it->str());
    EXPECT_EQ(completed, listed);
}

}  // namespace
}  // namespace ombrel
