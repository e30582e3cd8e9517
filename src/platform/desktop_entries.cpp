#include "platform/desktop_entries.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <system_error>

#include "platform/application_index.h"
#include "platform/process_runner.h"
#include "util/path_text.h"
#include "util/text.h"

namespace tf {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kGroup = "[Desktop Entry]";
constexpr std::string_view kSuffix = ".desktop";

std::string trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

// The escapes of string values: \s \n \t \r \\. Any other backslash stays, so the quoting
// rules of Exec still see it.
std::string unescapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const char next = value[++i];
        switch (next) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += next;
        }
    }
    return out;
}

bool readBoolean(std::string_view value) {
    return value == "true" || value == "1";
}

bool programInstalled(const std::string& program) {
    return findProgram(program).has_value();
}

std::string absolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') {
        return path;
    }
    std::error_code ec;
    const auto absolute = fs::absolute(path, ec);
    return ec ? path : absolute.string();
}

// Entries of one applications folder, sorted by id so the choice among equal names does not
// depend on the order the file system lists them. Every folder read is added to `read`.
std::vector<DesktopEntry> entriesIn(const fs::path& folder, std::vector<fs::path>* read) {
    std::vector<DesktopEntry> found;
    if (read != nullptr) {
        read->push_back(folder);
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return found;
    }
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& file = it->path();
        // Its own error code: an entry that cannot be examined (a dangling link) must not
        // end the walk.
        std::error_code entryError;
        if (read != nullptr && it->is_directory(entryError)) {
            read->push_back(file);
            continue;
        }
        const std::string name = file.filename().string();
        if (!endsWith(name, kSuffix) || !it->is_regular_file(entryError)) {
            continue;
        }
        auto entry = readDesktopEntry(file);
        if (!entry) {
            continue;
        }
        std::string id = file.lexically_relative(folder).string();
        std::replace(id.begin(), id.end(), '/', '-');
        entry->id = std::move(id);
        found.push_back(std::move(*entry));
    }
    std::sort(found.begin(), found.end(),
              [](const DesktopEntry& a, const DesktopEntry& b) { return a.id < b.id; });
    return found;
}

// One word of an Exec line, and for each of its bytes whether it stood inside quotes there.
struct ExecWord {
    std::string text;
    std::vector<bool> quoted;

    void add(char c, bool inQuotes) {
        text += c;
        quoted.push_back(inQuotes);
    }
};

std::optional<std::vector<ExecWord>> splitExecWords(std::string_view exec) {
    std::vector<ExecWord> words;
    ExecWord word;
    bool inWord = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) {
                words.push_back(std::move(word));
                word = {};
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == '"') {
            bool closed = false;
            for (++i; i < exec.size(); ++i) {
                const char q = exec[i];
                if (q == '"') {
                    closed = true;
                    break;
                }
                if (q == '\\' && i + 1 < exec.size()) {
                    const char next = exec[i + 1];
                    if (next == '"' || next == '`' || next == '$' || next == '\\') {
                        word.add(next, true);
                        ++i;
                        continue;
                    }
                }
                word.add(q, true);
            }
            if (!closed) {
                return std::nullopt;
            }
        } else if (c == '\'') {
            const auto end = exec.find('\'', i + 1);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            for (++i; i < end; ++i) {
                word.add(exec[i], true);
            }
        } else if (c == '\\' && i + 1 < exec.size()) {
            word.add(exec[++i], false);
        } else {
            word.add(c, false);
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

// The text in single quotes, each quote in it written '\'' : one literal word for a shell.
std::string shellQuoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
    return out;
}

// Follows a shell command line as it is written, far enough to tell what an inserted text
// must look like to stay one literal word: outside quotes (also inside $( ) and backquotes)
// it goes in single quotes; inside "...", '...' or $'...' that quoting is closed around it and
// reopened; inside a comment a line break in it would end the comment, so it becomes a blank.
class ShellContext {
  public:
    void feed(char c) {
        const bool dollar = dollar_;
        dollar_ = false;
        if (escaped_) {
            escaped_ = false;
            wordStart_ = false;
            return;
        }
        Frame& top = stack_.back();
        switch (top.kind) {
            case Kind::Comment:
                if (c == '\n') {
                    stack_.pop_back();
                    wordStart_ = true;
                }
                return;
            case Kind::Single:
                if (c == '\'') {
                    stack_.pop_back();
                }
                return;
            case Kind::AnsiC:
                if (c == '\\') {
                    escaped_ = true;
                } else if (c == '\'') {
                    stack_.pop_back();
                }
                return;
            case Kind::Double:
                if (c == '\\') {
                    escaped_ = true;
                } else if (c == '"') {
                    stack_.pop_back();
                } else if (c == '(' && dollar) {
                    stack_.push_back({Kind::Plain, ')'});
                } else if (c == '`') {
                    stack_.push_back({Kind::Plain, '`'});
                }
                dollar_ = c == '$';
                return;
            case Kind::Plain:
                break;
        }
        const bool atWordStart = wordStart_;
        wordStart_ = c == ' ' || c == '\t' || c == '\n' || c == ';' || c == '&' || c == '|' ||
                     c == '<' || c == '>' || c == '(' || c == ')';
        if (c == top.closer && stack_.size() > 1) {
            stack_.pop_back();
        } else if (c == '\\') {
            escaped_ = true;
        } else if (c == '\'') {
            stack_.push_back({dollar ? Kind::AnsiC : Kind::Single, '\0'});
        } else if (c == '"') {
            stack_.push_back({Kind::Double, '\0'});
        } else if (c == '(') {
            stack_.push_back({Kind::Plain, ')'});
        } else if (c == '`') {
            stack_.push_back({Kind::Plain, '`'});
        } else if (c == '#' && atWordStart) {
            stack_.push_back({Kind::Comment, '\0'});
        }
        dollar_ = c == '$';
    }

    void insert(const std::vector<std::string>& values, std::string& out) {
        if (values.empty()) {
            return;
        }
        std::string quoted;
        for (const auto& value : values) {
            if (!quoted.empty()) {
                quoted += ' ';
            }
            quoted += shellQuoted(value);
        }
        if (escaped_) {
            // The backslash before us would take our opening quote; give it one of its own.
            out += '\\';
            escaped_ = false;
        }
        switch (stack_.back().kind) {
            case Kind::Plain:
                out += quoted;
                break;
            case Kind::Double:
                out += '"' + quoted + '"';
                break;
            case Kind::Single:
                out += '\'' + quoted + '\'';
                break;
            case Kind::AnsiC:
                out += '\'' + quoted + "$'";
                break;
            case Kind::Comment:
                std::replace(quoted.begin(), quoted.end(), '\n', ' ');
                out += quoted;
                break;
        }
        wordStart_ = false;
        dollar_ = false;
    }

  private:
    enum class Kind { Plain, Double, Single, AnsiC, Comment };
    struct Frame {
        Kind kind;
        // What ends a Plain frame: ')' for $( ) and ( ), '`' for backquotes.
        char closer;
    };
    std::vector<Frame> stack_{{Kind::Plain, '\0'}};
    bool escaped_ = false;
    bool dollar_ = false;
    bool wordStart_ = true;
};

struct Expansion {
    const DesktopEntry& entry;
    // The paths of this instance, already absolute.
    const std::vector<std::string>& paths;

    // What a field code stands for; a single-file code takes the first path only.
    std::vector<std::string> values(char code) const {
        const bool all = code == 'F' || code == 'U';
        const std::size_t count = all ? paths.size() : std::min<std::size_t>(paths.size(), 1);
        std::vector<std::string> out;
        switch (code) {
            case 'f':
            case 'F':
                out.assign(paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(count));
                break;
            case 'u':
            case 'U':
                for (std::size_t i = 0; i < count; ++i) {
                    out.push_back(fileUri(paths[i]));
                }
                break;
            case 'c':
                out.push_back(entry.name);
                break;
            case 'k':
                out.push_back(entry.file);
                break;
            default:
                // %i inside a word, the deprecated codes and unknown ones give nothing.
                break;
        }
        return out;
    }
};

// One word of an Exec line with its field codes expanded. A code standing alone gives its
// values as arguments of their own; one inside a longer word gives literal text, except inside
// a quoted part, which is a command line for a shell (sh -c "wc -c %f"): there each value is
// quoted so that the shell reads it as one literal word.
void appendExpanded(const ExecWord& word, const Expansion& with, std::vector<std::string>& argv) {
    const std::string& text = word.text;
    // A field code standing alone may give no argument or several.
    if (text == "%f" || text == "%F" || text == "%u" || text == "%U") {
        const auto values = with.values(text[1]);
        argv.insert(argv.end(), values.begin(), values.end());
        return;
    }
    if (text == "%i") {
        if (!with.entry.icon.empty()) {
            argv.push_back("--icon");
            argv.push_back(with.entry.icon);
        }
        return;
    }
    std::string out;
    bool onlyCodes = true;
    ShellContext shell;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 == text.size() || text[i + 1] == '%') {
            out += text[i];
            shell.feed(text[i]);
            onlyCodes = false;
            i += text[i] == '%' && i + 1 < text.size() ? 1 : 0;
            continue;
        }
        const bool quoted = word.quoted[i];
        const auto values = with.values(text[++i]);
        if (quoted) {
            shell.insert(values, out);
        } else if (!values.empty()) {
            out += values.front();
        }
    }
    if (!out.empty() || !onlyCodes) {
        argv.push_back(std::move(out));
    }
}

bool containsCode(const std::vector<ExecWord>& words, std::string_view codes) {
    for (const auto& execWord : words) {
        const std::string& word = execWord.text;
        for (std::size_t i = 0; i + 1 < word.size(); ++i) {
            if (word[i] != '%') {
                continue;
            }
            if (codes.find(word[i + 1]) != std::string_view::npos) {
                return true;
            }
            ++i;  // "%%" is no code; skip its second sign
        }
    }
    return false;
}

}  // namespace

std::optional<DesktopEntry> readDesktopEntry(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    DesktopEntry entry;
    entry.file = file.string();
    bool inGroup = false;
    bool seenGroup = false;
    for (std::string line; std::getline(in, line);) {
        const std::string text = trimBlanks(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            if (inGroup) {
                break;
            }
            inGroup = text == kGroup;
            seenGroup = seenGroup || inGroup;
            continue;
        }
        if (!inGroup) {
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = trimBlanks(std::string_view(text).substr(0, equals));
        const std::string value =
            unescapeValue(trimBlanks(std::string_view(text).substr(equals + 1)));
        if (key == "Type") {
            entry.type = value;
        } else if (key == "Name") {
            entry.name = value;
        } else if (key == "Exec") {
            entry.exec = value;
        } else if (key == "TryExec") {
            entry.tryExec = value;
        } else if (key == "Icon") {
            entry.icon = value;
        } else if (key == "Path") {
            entry.workingDirectory = value;
        } else if (key == "Terminal") {
            entry.terminal = readBoolean(value);
        } else if (key == "Hidden") {
            entry.hidden = readBoolean(value);
        } else if (key == "NoDisplay") {
            entry.noDisplay = readBoolean(value);
        }
    }
    if (!seenGroup) {
        return std::nullopt;
    }
    return entry;
}

std::vector<fs::path> applicationFolders() {
    std::vector<fs::path> folders;
    const auto add = [&](const std::string& base) {
        // Relative entries are invalid in these variables and would depend on our folder.
        if (base.empty() || base.front() != '/') {
            return;
        }
        const fs::path folder = fs::path(standardizePath(base)) / "applications";
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
        }
    };
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        add(dataHome);
    } else if (const std::string home = homeFolder(); !home.empty()) {
        add(home + "/.local/share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string dirs =
        dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share:/usr/share";
    for (const auto& dir : split(dirs, ':')) {
        add(dir);
    }
    return folders;
}

std::vector<DesktopEntry> installedDesktopEntries(std::vector<fs::path>* read) {
    std::vector<DesktopEntry> entries;
    std::set<std::string> seen;
    for (const auto& folder : applicationFolders()) {
        for (auto& entry : entriesIn(folder, read)) {
            if (seen.insert(entry.id).second) {
                entries.push_back(std::move(entry));
            }
        }
    }
    return entries;
}

bool isLaunchable(const DesktopEntry& entry) {
    if (entry.hidden || entry.type != "Application" || entry.exec.empty()) {
        return false;
    }
    const auto words = splitExecLine(entry.exec);
    if (!words || words->empty()) {
        return false;
    }
    return entry.tryExec.empty() || programInstalled(entry.tryExec);
}

std::optional<DesktopEntry> findDesktopEntry(std::string_view application) {
    if (application.empty()) {
        return std::nullopt;
    }
    const std::string given(application);
    if (given.find('/') != std::string::npos) {
        auto entry = readDesktopEntry(absolutePath(given));
        if (entry && isLaunchable(*entry)) {
            return entry;
        }
        return std::nullopt;
    }

    return ApplicationIndex(installedDesktopEntries()).find(given);
}

std::optional<std::vector<std::string>> splitExecLine(std::string_view exec) {
    auto words = splitExecWords(exec);
    if (!words) {
        return std::nullopt;
    }
    std::vector<std::string> texts;
    texts.reserve(words->size());
    for (auto& word : *words) {
        texts.push_back(std::move(word.text));
    }
    return texts;
}

std::vector<std::vector<std::string>> expandExec(const DesktopEntry& entry,
                                                 const std::vector<std::string>& paths) {
    auto words = splitExecWords(entry.exec);
    if (!words || words->empty()) {
        return {};
    }
    std::vector<std::string> absolute;
    for (const auto& path : paths) {
        if (!path.empty()) {
            absolute.push_back(absolutePath(path));
        }
    }
    const bool takesList = containsCode(*words, "FU");
    const bool takesOne = containsCode(*words, "fu");
    if (!takesList && !takesOne && !absolute.empty()) {
        // An entry that names no file code still gets the files, one per instance.
        words->push_back({"%f", {false, false}});
    }

    std::vector<std::vector<std::string>> commands;
    const auto build = [&](const std::vector<std::string>& instancePaths) {
        const Expansion with{entry, instancePaths};
        std::vector<std::string> argv;
        for (const auto& word : *words) {
            appendExpanded(word, with, argv);
        }
        if (!argv.empty() && !argv.front().empty()) {
            commands.push_back(std::move(argv));
        }
    };
    if (takesList || absolute.size() <= 1) {
        build(absolute);
    } else {
        for (const auto& path : absolute) {
            build({path});
        }
    }
    return commands;
}

std::string fileUri(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string absolute = absolutePath(std::string(path));
    std::string uri = "file://";
    for (const char c : absolute) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~' || c == '/';
        if (unreserved) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0x0f];
        }
    }
    return uri;
}

}  // namespace tf
