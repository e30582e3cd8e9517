// `trackfolio-sync alert`: a Trackfolio alert for any script. The chosen button's title goes
// to standard output, so a shell or Python script can branch on it.
#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <streambuf>
#include <utility>

#include "cli/command_cli.h"
#include "platform/headless.h"
#include "util/posix.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kDismissed = 1;
constexpr int kBadUsage = 2;

constexpr const char* kAnswersVariable = "TRACKFOLIO_ANSWERS";
constexpr const char* kTranscriptVariable = "TRACKFOLIO_TRANSCRIPT";

const char* const kUsage =
    "usage: trackfolio-sync alert --message TEXT [--title TITLE] [--informative TEXT]\n"
    "                             [--button TITLE]... [--answers FILE] [--transcript FILE]\n";

// Appends to a transcript that other processes (the menu service, other alerts) write too:
// each flushed line goes out in one write on a descriptor opened with O_APPEND, so lines
// never overwrite or split each other.
class AppendFileBuffer : public std::streambuf {
  public:
    AppendFileBuffer() = default;
    ~AppendFileBuffer() override { sync(); }
    AppendFileBuffer(const AppendFileBuffer&) = delete;
    AppendFileBuffer& operator=(const AppendFileBuffer&) = delete;

    bool open(const std::string& path, std::string& error) {
        fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (!fd_.valid()) {
            error = "cannot open transcript " + path + ": " + errnoText(errno);
            return false;
        }
        return true;
    }

  protected:
    int_type overflow(int_type ch) override {
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            pending_.push_back(traits_type::to_char_type(ch));
        }
        return traits_type::not_eof(ch);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        return count;
    }
    int sync() override {
        const int error = writeAll(fd_.get(), pending_);
        pending_.clear();
        return error == 0 ? 0 : -1;
    }

  private:
    UniqueFd fd_;
    std::string pending_;
};

struct AlertOptions {
    std::optional<std::string> message;
    std::optional<std::string> title;
    std::string informative;
    std::vector<std::string> buttons;
    std::string answers;
    std::string transcript;
    bool help = false;
};

std::optional<AlertOptions> parseOptions(const std::vector<std::string>& args, std::string& error) {
    AlertOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg != "--message" && arg != "--title" && arg != "--informative" && arg != "--button" &&
            arg != "--answers" && arg != "--transcript") {
            error = startsWith(arg, "-") ? "unknown option " + arg : "unexpected argument " + arg;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        std::string value = args[++i];
        if (arg == "--message") {
            options.message = std::move(value);
        } else if (arg == "--title") {
            options.title = std::move(value);
        } else if (arg == "--informative") {
            options.informative = std::move(value);
        } else if (arg == "--button") {
            if (!isValid(value)) {
                error = "--button needs a title that is not blank";
                return std::nullopt;
            }
            options.buttons.push_back(std::move(value));
        } else if (arg == "--answers") {
            options.answers = std::move(value);
        } else {
            options.transcript = std::move(value);
        }
    }
    if (!options.message) {
        error = "--message TEXT is required";
        return std::nullopt;
    }
    return options;
}

std::string fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

WindowedAlert& windowedAlert() {
    static WindowedAlert show;
    return show;
}

bool hasDisplay() {
    return !fromEnvironment("DISPLAY").empty() || !fromEnvironment("WAYLAND_DISPLAY").empty();
}

int fail(std::ostream& err, const std::string& message) {
    err << "trackfolio-sync: alert: " << oneLine(message, 400) << "\n";
    return kBadUsage;
}

}  // namespace

void setWindowedAlert(WindowedAlert show) {
    windowedAlert() = std::move(show);
}

int runAlertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    std::optional<AlertOptions> options = parseOptions(args, error);
    if (!options) {
        return fail(err, error);
    }
    if (options->help) {
        out << kUsage;
        return 0;
    }

    const std::string answersPath =
        options->answers.empty() ? fromEnvironment(kAnswersVariable) : options->answers;
    AnswerScript answers;
    if (!answersPath.empty()) {
        std::optional<AnswerScript> loaded = AnswerScript::load(answersPath, error);
        if (!loaded) {
            return fail(err, error);
        }
        answers = std::move(*loaded);
    }

    const std::string transcriptPath =
        options->transcript.empty() ? fromEnvironment(kTranscriptVariable) : options->transcript;
    AppendFileBuffer transcriptFile;
    std::ostream transcriptStream(&transcriptFile);
    if (!transcriptPath.empty() && !transcriptFile.open(transcriptPath, error)) {
        return fail(err, error);
    }
    Transcript transcript(transcriptPath.empty() ? nullptr : &transcriptStream);

    AlertRequest request;
    request.message = options->title ? *options->title : localized("Tip");
    request.informative = *options->message;
    if (!options->informative.empty()) {
        request.informative += request.informative.empty() ? "" : "\n\n";
        request.informative += options->informative;
    }
    request.buttons =
        options->buttons.empty() ? std::vector<std::string>{localized("OK")} : options->buttons;
    request.style = AlertStyle::Informational;

    int chosen = -1;
    if (answersPath.empty() && windowedAlert() && hasDisplay()) {
        chosen = windowedAlert()(request);
    } else {
        HeadlessUi ui(std::move(answers), transcript);
        chosen = ui.runAlert(request);
    }
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= request.buttons.size()) {
        return kDismissed;
    }
    out << request.buttons[static_cast<std::size_t>(chosen)] << "\n";
    return 0;
}

}  // namespace tf
