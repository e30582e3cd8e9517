#include "platform/terminal_launcher.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "util/posix.h"
#include "util/text.h"

namespace tf {
namespace {

namespace fs = std::filesystem;

struct KnownTerminal {
    std::string_view name;
    TerminalKind kind;
};

constexpr std::array<KnownTerminal, 8> kKnown{{
    {"gnome-terminal", TerminalKind::GnomeTerminal},
    {"konsole", TerminalKind::Konsole},
    {"xfce4-terminal", TerminalKind::Xfce4Terminal},
    {"kitty", TerminalKind::Kitty},
    {"alacritty", TerminalKind::Alacritty},
    {"wezterm", TerminalKind::WezTerm},
    {"foot", TerminalKind::Foot},
    {"tilix", TerminalKind::Tilix},
}};

constexpr std::string_view kWrapperSuffix = ".wrapper";

std::string fileName(std::string_view program) {
    const auto slash = program.rfind('/');
    std::string name(slash == std::string_view::npos ? program : program.substr(slash + 1));
    if (endsWith(name, kWrapperSuffix)) {
        name.resize(name.size() - kWrapperSuffix.size());
    }
    return name;
}

std::vector<std::string> blankSeparated(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

// A program that only links to a known terminal (the alternatives system's
// x-terminal-emulator) is that terminal, so its tabs and folder option can be used. Debian
// points the link at a ".wrapper" that takes xterm's options; the real program sits beside it.
Terminal resolveLinkedKind(Terminal terminal) {
    std::error_code ec;
    const fs::path target = fs::canonical(terminal.program, ec);
    if (ec) {
        return terminal;
    }
    const TerminalKind kind = terminalKindOf(target.filename().string());
    if (kind == TerminalKind::Generic) {
        return terminal;
    }
    const fs::path real = target.parent_path() / fileName(target.string());
    if (isExecutableFile(real)) {
        terminal.program = real.string();
        terminal.kind = kind;
    }
    return terminal;
}

// The same terminal reached under two names collapses to one.
std::string identityOf(const Terminal& terminal) {
    if (terminal.kind != TerminalKind::Generic) {
        return "kind:" + std::to_string(static_cast<int>(terminal.kind));
    }
    std::error_code ec;
    const fs::path target = fs::canonical(terminal.program, ec);
    return "file:" + (ec ? terminal.program : target.string());
}

std::vector<std::string> withFolder(TerminalKind kind, const std::string& folder) {
    switch (kind) {
        case TerminalKind::GnomeTerminal:
        case TerminalKind::Xfce4Terminal:
        case TerminalKind::Foot:
        case TerminalKind::Tilix:
            return {"--working-directory=" + folder};
        case TerminalKind::Konsole:
            return {"--workdir", folder};
        case TerminalKind::Kitty:
            return {"--directory", folder};
        case TerminalKind::Alacritty:
            return {"--working-directory", folder};
        case TerminalKind::WezTerm:
            return {"start", "--cwd", folder};
        case TerminalKind::Generic:
            break;
    }
    return {};
}

// Folders are made absolute, so no folder can be read as an option.
std::string absoluteFolder(const std::string& folder) {
    if (folder.empty() || folder.front() == '/') {
        return folder;
    }
    std::error_code ec;
    const auto absolute = fs::absolute(folder, ec);
    return ec ? folder : absolute.string();
}

ProcessRequest baseRequest(const Terminal& terminal, const std::string& folder) {
    ProcessRequest request;
    request.argv.push_back(terminal.program);
    request.argv.insert(request.argv.end(), terminal.options.begin(), terminal.options.end());
    request.workingDirectory = folder;
    return request;
}

}  // namespace

TerminalKind terminalKindOf(std::string_view program) {
    const std::string name = fileName(program);
    for (const auto& known : kKnown) {
        if (known.name == name) {
            return known.kind;
        }
    }
    return TerminalKind::Generic;
}

bool supportsTabs(TerminalKind kind) {
    return kind == TerminalKind::GnomeTerminal || kind == TerminalKind::Konsole ||
           kind == TerminalKind::Xfce4Terminal;
}

std::optional<Terminal> findTerminal(std::string_view nameOrCommand) {
    const std::string given = trim(nameOrCommand);
    if (given.empty()) {
        return std::nullopt;
    }
    Terminal terminal;
    if (auto program = findProgram(given)) {
        terminal.program = *program;
    } else {
        std::vector<std::string> words = blankSeparated(given);
        auto first = findProgram(words.front());
        if (!first) {
            return std::nullopt;
        }
        terminal.program = *first;
        terminal.options.assign(words.begin() + 1, words.end());
    }
    terminal.kind = terminalKindOf(terminal.program);
    if (terminal.kind == TerminalKind::Generic) {
        terminal = resolveLinkedKind(std::move(terminal));
    }
    return terminal;
}

std::vector<Terminal> availableTerminals() {
    std::vector<std::string> candidates;
    if (const char* configured = std::getenv("TERMINAL"); configured != nullptr) {
        candidates.emplace_back(configured);
    }
    candidates.emplace_back("x-terminal-emulator");
    for (const auto& known : kKnown) {
        candidates.emplace_back(known.name);
    }
    std::vector<Terminal> found;
    std::set<std::string> seen;
    for (const auto& candidate : candidates) {
        auto terminal = findTerminal(candidate);
        if (terminal && seen.insert(identityOf(*terminal)).second) {
            found.push_back(std::move(*terminal));
        }
    }
    return found;
}

ProcessRequest openFolderRequest(const Terminal& terminal, const std::string& folder, bool tab) {
    const std::string dir = absoluteFolder(folder);
    ProcessRequest request = baseRequest(terminal, dir);
    if (tab && supportsTabs(terminal.kind)) {
        request.argv.push_back(terminal.kind == TerminalKind::Konsole ? "--new-tab" : "--tab");
    }
    if (!dir.empty()) {
        const auto options = withFolder(terminal.kind, dir);
        request.argv.insert(request.argv.end(), options.begin(), options.end());
    }
    return request;
}

ProcessRequest runCommandRequest(const Terminal& terminal, const std::vector<std::string>& command,
                                 const std::string& folder) {
    const std::string dir = absoluteFolder(folder);
    ProcessRequest request = baseRequest(terminal, dir);
    if (!dir.empty()) {
        const auto options = withFolder(terminal.kind, dir);
        request.argv.insert(request.argv.end(), options.begin(), options.end());
    }
    switch (terminal.kind) {
        case TerminalKind::GnomeTerminal:
        case TerminalKind::WezTerm:
            request.argv.push_back("--");
            break;
        case TerminalKind::Xfce4Terminal:
            request.argv.push_back("-x");
            break;
        case TerminalKind::Kitty:
        case TerminalKind::Foot:
            break;
        case TerminalKind::Konsole:
        case TerminalKind::Alacritty:
        case TerminalKind::Tilix:
        case TerminalKind::Generic:
            // The convention of xterm and of x-terminal-emulator: the rest is the command.
            request.argv.push_back("-e");
            break;
    }
    request.argv.insert(request.argv.end(), command.begin(), command.end());
    return request;
}

}  // namespace tf
