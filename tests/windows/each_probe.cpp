// Run under Wine by wine_each_test.sh: the command after each diskette through the Windows
// build's cmd.exe path, and the drive description of a file standing in for a drive. Prints
// "KEY: value" lines, line breaks in a value shown as "|".
//
// Started as "tavrel-each-probe /d ... /c LINE" (as ComSpec) it stands in for Windows' cmd.exe
// instead: see ReadAsWindows.
#include <windows.h>

#include <cstdio>
#include <string>

#include "cli/batch_system.h"
#include "cli/each_command.h"
#include "platform/windows/wide_path.h"

namespace {

void Say(const char* key, std::string value) {
    std::string shown;
    for (char c : value)
        if (c == '\n')
            shown += '|';
        else if (c != '\r')
            shown += c;
    std::printf("%s: %s\n", key, shown.c_str());
}

// What a diskette's identifier and the operator's label text may say: each tries to end the
// command and start one of its own, the label from inside quotes too, and to be expanded again.
const char* const kIdentifier = "X&echo PWNED>pwned.txt";
const char* const kLabel =
    "Lohn & Gehalt | 50% ^ <1991> %TAVREL_NAME% !\" & echo PWNED>label.txt & \"";

// The command's output without the line break at its end.
std::string Trimmed(std::string output) {
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

// Runs command for a diskette named by the hostile texts, filed in folder; says "intact" when
// it printed want, else what it printed.
void Hostile(const std::string& key, const std::string& folder, const std::string& command,
             const std::string& want) {
    cli::BatchRecord record;
    record.name = "disk-001";
    record.image = "disk-001.tvl";
    record.identifier = kIdentifier;
    record.labelText = kLabel;
    record.result = "done";
    const cli::EachOutcome ran =
        cli::RunEachCommand(command, cli::EachCommandEnvironment(record, folder));
    const std::string got = Trimmed(ran.output);
    Say(key.c_str(),
        ran.failure.empty() && got == want ? "intact" : "got " + got + " " + ran.failure);
}

// The commands an operator writes, each naming the hostile texts; label is the label text as
// the cmd.exe that runs them shows it.
void HostileCommands(const std::string& where, const std::string& folder,
                     const std::string& label) {
    const std::string id = kIdentifier;
    Hostile(where + " percent", folder, "echo [%TAVREL_IDENTIFIER%] [%TAVREL_LABEL_TEXT%]",
            "[" + id + "] [" + label + "]");
    Hostile(where + " quoted", folder, "echo \"%tavrel_label_text%\"", "\"" + label + "\"");
    Hostile(where + " delayed", folder, "echo [!TAVREL_IDENTIFIER!]", "[" + id + "]");
    // Windows tries the closing percent sign of a name that is not set as an opening one.
    Hostile(where + " stray", folder, "echo %no such%TAVREL_IDENTIFIER%", "%no such" + id);
    Hostile(where + " copy", folder,
            "copy \"%TAVREL_IMAGE%\" copied.tvl >nul && type copied.tvl && del copied.tvl",
            "image bytes");
    Hostile(where + " set", folder, "set TAVREL_LABEL_TEXT",
            "TAVREL_LABEL_TEXT=" + std::string(kLabel));

    // A zero byte in a value ends it, as on Linux: the rest is no variable of its own.
    cli::BatchRecord record;
    record.name = "disk-001";
    record.labelText = std::string("before\0TAVREL_INJECTED=yes", 26);
    const std::string told =
        cli::RunEachCommand("set TAVREL_", cli::EachCommandEnvironment(record, folder)).output;
    Say((where + " zero byte").c_str(),
        told.find("TAVREL_LABEL_TEXT=before\r\n") != std::string::npos &&
                told.find("INJECTED") == std::string::npos
            ? "cut"
            : told);
}

// How Windows' cmd.exe first reads a line after /c: each %NAME% of a variable that is set
// becomes its value, and a percent sign that opens none is kept and the next one tried.
std::wstring PercentsExpanded(const std::wstring& line) {
    std::wstring expanded;
    for (size_t at = 0; at < line.size();) {
        const size_t close = line[at] == L'%' ? line.find(L'%', at + 1) : std::wstring::npos;
        if (close != std::wstring::npos && close > at + 1) {
            const std::wstring name = line.substr(at + 1, close - at - 1);
            std::wstring value(GetEnvironmentVariableW(name.c_str(), nullptr, 0), L'\0');
            if (!value.empty()) {
                value.resize(GetEnvironmentVariableW(name.c_str(), value.data(),
                                                     static_cast<DWORD>(value.size())));
                expanded += value;
                at = close + 1;
                continue;
            }
        }
        expanded += line[at++];
    }
    return expanded;
}

// Windows' cmd.exe puts each %NAME% in before it reads the line's & | < > and quotes; Wine's
// reads them first (for a line after /c). So this program reads the line after /c as Windows
// does, its outer quotes taken off as /s does and its %NAME%s put in, and writes the result to
// a batch file (each percent sign doubled, so none is put in again) that Wine's cmd.exe then
// reads, with the same /v:.
int ReadAsWindows() {
    const std::wstring line = GetCommandLineW();
    const size_t c = line.find(L" /c ");
    if (c == std::wstring::npos) return 64;
    const bool delayed = line.substr(0, c).find(L"/v:on") != std::wstring::npos;
    std::wstring command = line.substr(c + 4);
    const size_t first = command.find(L'"'), last = command.rfind(L'"');
    if (first != std::wstring::npos && last > first) {
        command.erase(last, 1);
        command.erase(first, 1);
    }
    wchar_t folder[MAX_PATH], name[MAX_PATH], system[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"tvl", 0, name) ||
        !GetSystemDirectoryW(system, MAX_PATH))
        return 65;
    const std::wstring batch = std::wstring(name) + L".cmd";
    DeleteFileW(name);
    std::string text = "@echo off\r\n";
    for (char c : platform::Narrow(PercentsExpanded(command)))
        text += c == '%' ? "%%" : std::string(1, c);
    text += "\r\n";
    HANDLE file = CreateFileW(batch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
    CloseHandle(file);

    std::wstring run = L"\"" + std::wstring(system) + L"\\cmd.exe\" /d " +
                       (delayed ? L"/v:on " : L"") + L"/c \"" + batch + L"\"";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    DWORD code = 66;
    if (CreateProcessW(nullptr, run.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    DeleteFileW(batch.c_str());
    return static_cast<int>(code);
}

}  // namespace

// FOLDER IMAGE BOX: the folder named to the command, a file to describe as a drive, and a folder
// whose disk-001.tvl holds "image bytes".
int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "/d") return ReadAsWindows();
    if (argc != 4) return 64;
    cli::BatchRecord record;
    record.name = "disk-001";
    record.image = "disk-001.tvl";
    record.identifier = "ACC 7";
    record.result = "done";
    record.files = 2;
    record.drive.label = "A:";
    cli::EachOutcome told =
        cli::RunEachCommand("set TAVREL_", cli::EachCommandEnvironment(record, argv[1]));
    Say("told", told.output);
    Say("told failure", told.failure);
    cli::EachOutcome failed = cli::RunEachCommand("echo printing& echo no paper 1>&2& exit 3", {});
    Say("failed output", failed.output);
    Say("failed failure", failed.failure);
    Say("missing failure", cli::RunEachCommand("tavrel-no-such-command", {}).failure);
    Say("kind", cli::DescribeDevice(argv[2]).kind);

    // Through Wine's cmd.exe, then through this program standing in for Windows' one. Wine's
    // cmd.exe, unlike Windows', reads what delayed expansion put in once more, and in a batch
    // file drops the label's lone "!" there.
    HostileCommands("wine", argv[3], kLabel);
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 65;
    SetEnvironmentVariableW(L"ComSpec", self);
    std::string dropped = kLabel;
    dropped.erase(dropped.find('!'), 1);
    HostileCommands("windows", argv[3], dropped);
    return 0;
}
