#include "app/command_line.h"

#include <algorithm>
#include <cctype>

#include "platform/profile.h"

CTavrelCommandLineInfo::~CTavrelCommandLineInfo() = default;

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The first character of a UTF-8 text, whole: a drive "letter" outside ASCII stays one
// character, for the drive check to refuse.
std::string FirstCharacter(const std::string& text) {
    size_t length = 1;
    while (length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        ++length;
    return text.substr(0, length);
}

}  // namespace

void CTavrelCommandLineInfo::ParseParam(const std::string& param, bool, bool) {
    // Letters and values compare ignoring case; a file name keeps its case.
    if (param.empty()) return;
    switch (std::toupper(static_cast<unsigned char>(param[0]))) {
        case 'A':
            m_nAutoClose = 1;
            break;
        case 'D':
            if (param.size() > 2) m_strDriveLetter = Upper(FirstCharacter(param.substr(2)));
            break;
        case 'F':
            if (param.size() > 2) m_strImageFile = param.substr(2);
            break;
        case 'N':
            m_nSaveSettings = 0;
            break;
        case 'O': {
            const std::string value = param.size() > 2 ? Upper(param.substr(2)) : std::string();
            if (value == "COMPRESS")
                m_nOperation = 0;
            else if (value == "EXPAND")
                m_nOperation = 1;
            else if (value == "VERIFY")
                m_nOperation = 2;
            break;
        }
        case 'U':
            m_nCompression = 0;
            break;
        default:
            break;
    }
}

void ParseCommandLine(CTavrelCommandLineInfo& info, const std::vector<std::string>& arguments) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        std::string arg = arguments[i];
        // Matched whole and before the first-letter rule, which cannot take them: to it "-h" is
        // the letter H, which presets nothing, and "--help", "--version" and "/?" start with no
        // letter at all, so each would open the dialog without a word. Whole and exact, so
        // that what the rule already reads keeps its meaning: "/Hold", "-help" and a bare
        // "HELP.TVL" stay the unused letter H.
        const CommandLineAsk ask = arg == "--help" || arg == "-h" || arg == "/?"
                                       ? CommandLineAsk::Usage
                                   : arg == "--version" ? CommandLineAsk::Version
                                                        : CommandLineAsk::Dialog;
        if (ask != CommandLineAsk::Dialog) {
            // As GNU tools do: whichever comes first answers.
            if (info.m_ask == CommandLineAsk::Dialog) info.m_ask = ask;
            continue;
        }
        bool isFlag = !arg.empty() && (arg[0] == '/' || arg[0] == '-');
        if (isFlag) arg.erase(0, 1);
        info.ParseParam(arg, isFlag, i == arguments.size() - 1);
    }
}

std::string ApplicationName(const std::string& programPath) {
    // Both separators: a Windows path may use either.
    const size_t slash = programPath.find_last_of("/\\");
    std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

std::string ProfileFileFor(const std::string& programPath) {
    // Beside the system's profile file, with its separator.
    const std::string profile = platform::ProfilePath();
    const size_t slash = profile.find_last_of("/\\");
    if (slash == std::string::npos) return "./" + ApplicationName(programPath) + ".INI";
    return profile.substr(0, slash + 1) + ApplicationName(programPath) + ".INI";
}
