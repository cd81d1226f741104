// The command through cmd.exe, its output through a pipe. Only the pipe's end and the null
// device are handed to it (a handle list), so a command another thread starts at the same time
// gets neither, and a pipe never stays open through a stranger.
//
// cmd.exe puts each %NAME% into the line before it reads the line's & | < > ^ and quotes, so a
// value named that way would be read as part of the command: an identifier "X&calc" would start
// calc. A !NAME! of delayed expansion (/v:on) is put in after the line is read and never read
// again, so the added variables are named only that way.
#include <algorithm>
#include <cwchar>
#include <memory>

#include "platform/format_message.h"
#include "platform/handle.h"
#include "platform/process_run.h"
#include "platform/windows/wide_path.h"

namespace platform {
namespace {

// How often a command whose output is still open is looked at to see whether it has ended.
constexpr DWORD kLookMs = 200;

std::string LastErrorText() {
    const DWORD code = GetLastError();
    std::string text;
    if (!SystemErrorText(code, &text)) text = "error " + std::to_string(code);
    return text;
}

// The names of an environment block are compared without case, as the system compares them.
bool SameName(const std::wstring& entry, const std::wstring& name) {
    return entry.size() > name.size() && entry[name.size()] == L'=' &&
           CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()), name.c_str(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// A value ends at a zero byte, as a C string does on Linux: in the block a zero ends an entry,
// and what followed would be a variable of its own.
std::wstring Value(const std::string& value) {
    return Widen(value.substr(0, value.find('\0')));
}

// This process's environment with the variables added, sorted as CreateProcess wants it.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& variables) {
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1)
            entries.emplace_back(entry);
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : variables) {
        const std::wstring wideName = Widen(name);
        entries.erase(
            std::remove_if(entries.begin(), entries.end(),
                           [&](const std::wstring& entry) { return SameName(entry, wideName); }),
            entries.end());
        entries.push_back(wideName + L"=" + Value(value));
    }
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const std::wstring& entry : entries) block += entry + L'\0';
    block += L'\0';
    return block;
}

// The command with every %NAME% and %NAME:...% (a part or a replacement) of an added variable,
// in any case, made !NAME! and !NAME:...!. Every percent sign is tried as an opening one, so no
// pairing cmd.exe may make of those left names an added variable.
std::string DelayedReferences(const std::string& command,
                              const std::vector<std::pair<std::string, std::string>>& variables) {
    auto added = [&](const std::string& name) {
        const std::wstring wide = Widen(name);
        return std::any_of(variables.begin(), variables.end(), [&](const auto& variable) {
            const std::wstring other = Widen(variable.first);
            return CompareStringOrdinal(wide.c_str(), static_cast<int>(wide.size()), other.c_str(),
                                        static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
        });
    };
    std::string line;
    for (size_t at = 0; at < command.size();) {
        const size_t close = command[at] == '%' ? command.find('%', at + 1) : std::string::npos;
        if (close != std::string::npos) {
            const std::string inside = command.substr(at + 1, close - at - 1);
            if (added(inside.substr(0, inside.find(':')))) {
                line += '!' + inside + '!';
                at = close + 1;
                continue;
            }
        }
        line += command[at++];
    }
    return line;
}

std::wstring CommandInterpreter() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ComSpec", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return path;
    const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, folder > 0 && folder < MAX_PATH ? folder : 0) + L"\\cmd.exe";
}

void Keep(std::string* output, const char* bytes, size_t count, size_t keep) {
    output->append(bytes, count);
    if (output->size() > 2 * keep + 4096) output->erase(0, output->size() - keep);
}

// Reads what the pipe holds; false once it is closed and empty.
bool Drain(HANDLE pipe, std::string* output, size_t keep) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    char buffer[4096];
    while (available > 0) {
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) ||
            got == 0)
            return false;
        Keep(output, buffer, got, keep);
        available -= std::min(available, got);
    }
    return true;
}

}  // namespace

ShellOutcome RunShell(const std::string& command,
                      const std::vector<std::pair<std::string, std::string>>& variables,
                      size_t keepOutput) {
    ShellOutcome outcome;
    const std::wstring interpreter = CommandInterpreter();
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        outcome.failure = "cannot make a pipe: " + LastErrorText();
        return outcome;
    }
    UniqueHandle reading(readEnd), writing(writeEnd);
    SetHandleInformation(reading.get(), HANDLE_FLAG_INHERIT, 0);
    UniqueHandle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, 0, nullptr));
    if (!nul.valid()) {
        outcome.failure = "cannot open NUL: " + LastErrorText();
        return outcome;
    }

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::unique_ptr<char[]> listBytes(new char[size]);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        outcome.failure = "cannot run " + Narrow(interpreter) + ": " + LastErrorText();
        return outcome;
    }
    HANDLE handed[] = {nul.get(), writing.get()};
    const bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                  handed, sizeof handed, nullptr, nullptr);
    STARTUPINFOEXW start{};
    start.StartupInfo.cb = sizeof start;
    start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    start.StartupInfo.hStdInput = nul.get();
    start.StartupInfo.hStdOutput = writing.get();
    start.StartupInfo.hStdError = writing.get();
    start.lpAttributeList = list;
    // /d: no AutoRun commands from the registry; /v:on: delayed expansion; /s: the quotes
    // around the command are taken off and the rest is run as it stands.
    std::wstring line = L"\"" + interpreter + L"\" /d /v:on /s /c \"" +
                        Widen(DelayedReferences(command, variables)) + L"\"";
    std::wstring environment = EnvironmentBlock(variables);
    PROCESS_INFORMATION process{};
    const BOOL created =
        listed && CreateProcessW(interpreter.c_str(), line.data(), nullptr, nullptr, TRUE,
                                 EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT,
                                 environment.data(), nullptr, &start.StartupInfo, &process);
    const std::string why = created ? std::string() : LastErrorText();
    DeleteProcThreadAttributeList(list);
    if (!created) {
        outcome.failure = "cannot run " + Narrow(interpreter) + ": " + why;
        return outcome;
    }
    outcome.started = true;
    UniqueHandle child(process.hProcess), thread(process.hThread);
    writing.Close();
    nul.Close();

    // Until the output ends, or the command has ended and what it wrote is read: something it
    // started may hold the pipe open for as long as that runs.
    for (;;) {
        if (!Drain(reading.get(), &outcome.output, keepOutput)) break;
        if (WaitForSingleObject(child.get(), kLookMs) == WAIT_OBJECT_0) {
            Drain(reading.get(), &outcome.output, keepOutput);
            break;
        }
    }
    if (WaitForSingleObject(child.get(), INFINITE) != WAIT_OBJECT_0) {
        outcome.failure = "cannot wait for " + Narrow(interpreter) + ": " + LastErrorText();
        return outcome;
    }
    if (outcome.output.size() > keepOutput)
        outcome.output.erase(0, outcome.output.size() - keepOutput);
    DWORD code = 0;
    GetExitCodeProcess(child.get(), &code);
    outcome.exited = true;
    outcome.exitStatus = static_cast<int>(code);
    return outcome;
}

}  // namespace platform
