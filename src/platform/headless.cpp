#include "platform/headless.h"

#include "platform/application_index.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>

#include "util/posix.h"
#include "util/strings.h"

namespace tf {

using nlohmann::json;

namespace {

std::string dumpLine(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

const char* styleName(AlertStyle style) {
    switch (style) {
        case AlertStyle::Informational:
            return "informational";
        case AlertStyle::Critical:
            return "critical";
        case AlertStyle::Warning:
            break;
    }
    return "warning";
}

// One decimal, independent of the process's locale.
std::string percentText(double percent) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), percent * 100.0,
                                      std::chars_format::fixed, 1);
    return std::string(buffer.data(), result.ptr) + "%";
}

// The whole number in `value` when it lies within [low, high].
std::optional<long long> integerWithin(const json& value, long long low, long long high) {
    long long number = 0;
    if (value.is_number_unsigned()) {
        const auto magnitude = value.get<unsigned long long>();
        if (high < 0 || magnitude > static_cast<unsigned long long>(high)) {
            return std::nullopt;
        }
        number = static_cast<long long>(magnitude);
    } else if (value.is_number_integer()) {
        number = value.get<long long>();
    } else {
        return std::nullopt;
    }
    return number >= low && number <= high ? std::optional<long long>(number) : std::nullopt;
}

// What one answer says for one prompt: cancel, a value under `key`, or why it does not fit.
struct Reading {
    const json* value = nullptr;
    std::string error;
};

// Nothing left and {"cancel": true} both cancel without an error; an answer lacking `key`
// is meant for another kind of prompt.
Reading readAnswer(const std::optional<json>& answer, const char* key, const char* prompt) {
    Reading reading;
    if (!answer) {
        return reading;
    }
    if (const auto cancel = answer->find("cancel"); cancel != answer->end()) {
        if (!cancel->is_boolean()) {
            reading.error = "\"cancel\" must be true or false, got " + dumpLine(*cancel);
            return reading;
        }
        if (cancel->get<bool>()) {
            return reading;
        }
    }
    const auto found = answer->find(key);
    if (found == answer->end()) {
        reading.error = std::string("expected {\"") + key + "\": ...} or {\"cancel\": true} for " +
                        prompt + ", got " + dumpLine(*answer);
        return reading;
    }
    reading.value = &*found;
    return reading;
}

// An absolute path under `key`, as the folder chooser and the save panel give.
std::optional<std::string> readPath(const json& value, const char* key, std::string& error) {
    if (!value.is_string()) {
        error = std::string("\"") + key + "\" must be a path, got " + dumpLine(value);
        return std::nullopt;
    }
    auto path = value.get<std::string>();
    if (path.empty() || path.front() != '/') {
        error = std::string("\"") + key + "\" must be an absolute path, got " + dumpLine(value);
        return std::nullopt;
    }
    return path;
}

void noteError(json& line, const std::string& error) {
    if (!error.empty()) {
        line["error"] = error;
    }
}

// Three components from 0 to 1.
std::optional<ScreenColour> readColour(const json& value, std::string& error) {
    const auto component = [](const json& number) {
        return number.is_number() && number.get<double>() >= 0.0 && number.get<double>() <= 1.0;
    };
    if (!value.is_array() || value.size() != 3 || !component(value[0]) || !component(value[1]) ||
        !component(value[2])) {
        error = "\"colour\" must be three numbers from 0 to 1, got " + dumpLine(value);
        return std::nullopt;
    }
    return ScreenColour{value[0].get<double>(), value[1].get<double>(), value[2].get<double>()};
}

json nullOr(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

}  // namespace

// --- Transcript ---

bool Transcript::openFile(const std::string& path, std::string& error) {
    const std::lock_guard guard(mutex_);
    if (file_.is_open()) {
        file_.close();
    }
    errno = 0;
    file_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!file_.is_open()) {
        const int code = errno;
        file_.clear();
        error = "cannot create transcript " + path + ": " +
                (code != 0 ? errnoText(code) : "unknown error");
        return false;
    }
    return true;
}

void Transcript::write(const json& line) {
    const std::string text = dumpLine(line) + "\n";
    const std::lock_guard guard(mutex_);
    lines_.push_back(line);
    if (file_.is_open()) {
        file_ << text;
        file_.flush();
    }
    if (out_ != nullptr) {
        *out_ << text;
        out_->flush();
    }
}

std::vector<json> Transcript::lines() const {
    const std::lock_guard guard(mutex_);
    return lines_;
}

// --- AnswerScript ---

AnswerScript::AnswerScript(std::vector<json> answers)
    : answers_(std::make_move_iterator(answers.begin()), std::make_move_iterator(answers.end())) {}

AnswerScript::AnswerScript(AnswerScript&& other) noexcept {
    const std::lock_guard guard(other.mutex_);
    answers_ = std::move(other.answers_);
}

AnswerScript& AnswerScript::operator=(AnswerScript&& other) noexcept {
    if (this != &other) {
        const std::scoped_lock guard(mutex_, other.mutex_);
        answers_ = std::move(other.answers_);
    }
    return *this;
}

std::optional<AnswerScript> AnswerScript::load(const std::string& path, std::string& error) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    const int failure = fd.valid() ? readAll(fd.get(), text) : errno;
    if (failure != 0) {
        error = "cannot read answers " + path + ": " + errnoText(failure);
        return std::nullopt;
    }
    return parse(text, error);
}

std::optional<AnswerScript> AnswerScript::parse(const std::string& text, std::string& error) {
    std::vector<json> answers;
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        const std::string where = "answers line " + std::to_string(number) + ": ";
        json value;
        try {
            value = json::parse(line);
        } catch (const json::exception& e) {
            // A syntax error, or a number beyond a double (out_of_range). Without the
            // library's "[json.exception...] " prefix.
            std::string reason = e.what();
            if (const auto close = reason.find("] "); close != std::string::npos) {
                reason.erase(0, close + 2);
            }
            error = where + reason;
            return std::nullopt;
        }
        if (!value.is_object()) {
            error = where + "expected a JSON object, got " + value.type_name();
            return std::nullopt;
        }
        answers.push_back(std::move(value));
    }
    return AnswerScript(std::move(answers));
}

std::optional<json> AnswerScript::next() {
    const std::lock_guard guard(mutex_);
    if (answers_.empty()) {
        return std::nullopt;
    }
    json answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
}

std::size_t AnswerScript::remaining() const {
    const std::lock_guard guard(mutex_);
    return answers_.size();
}

// --- HeadlessUi: prompts ---

HeadlessUi::HeadlessUi(AnswerScript answers, Transcript& transcript)
    : answers_(std::move(answers)), transcript_(transcript) {}

int HeadlessUi::runAlert(const AlertRequest& request) {
    const std::vector<std::string> buttons =
        request.buttons.empty() ? std::vector<std::string>{localized("OK")} : request.buttons;
    json line = {{"type", "alert"},
                 {"message", request.message},
                 {"informative", request.informative},
                 {"buttons", buttons},
                 {"style", styleName(request.style)}};
    const auto answer = answers_.next();
    auto reading = readAnswer(answer, "button", "an alert");
    int chosen = -1;
    if (reading.value != nullptr) {
        const json& button = *reading.value;
        if (button.is_string()) {
            const auto title = button.get<std::string>();
            const auto found = std::find(buttons.begin(), buttons.end(), title);
            if (found != buttons.end()) {
                chosen = static_cast<int>(found - buttons.begin());
            } else {
                reading.error = "no button titled " + dumpLine(button);
            }
        } else if (button.is_number_integer()) {
            const auto number = integerWithin(button, 1, static_cast<long long>(buttons.size()));
            if (number) {
                chosen = static_cast<int>(*number - 1);
            } else {
                reading.error = "button " + dumpLine(button) + " is out of range 1-" +
                                std::to_string(buttons.size());
            }
        } else {
            reading.error =
                "\"button\" must be a title or a number from 1, got " + dumpLine(button);
        }
    }
    line["answer"] = chosen >= 0 ? json(buttons[static_cast<std::size_t>(chosen)]) : json(nullptr);
    noteError(line, reading.error);
    transcript_.write(line);
    return chosen;
}

std::optional<std::string> HeadlessUi::chooseFolder(const FolderRequest& request) {
    json line = {{"type", "choose-folder"},
                 {"prompt", request.prompt},
                 {"message", request.message},
                 {"start", request.startFolder}};
    const auto answer = answers_.next();
    auto reading = readAnswer(answer, "folder", "a folder chooser");
    std::optional<std::string> folder;
    if (reading.value != nullptr) {
        folder = readPath(*reading.value, "folder", reading.error);
    }
    line["answer"] = folder ? json(*folder) : json(nullptr);
    noteError(line, reading.error);
    transcript_.write(line);
    return folder;
}

std::optional<SaveAnswer> HeadlessUi::runSavePanel(const SaveRequest& request) {
    json line = {{"type", "save"},
                 {"title", request.title},
                 {"message", request.message},
                 {"name", request.name},
                 {"folder", request.folder},
                 {"allowedTypes", request.allowedTypes},
                 {"password", !request.passwordLabel.empty()},
                 {"checkBox", nullOr(request.checkBoxTitle)},
                 {"typeList", request.typeList}};
    if (!request.passwordPlaceholder.empty()) {
        line["passwordPlaceholder"] = request.passwordPlaceholder;
    }
    const auto answer = answers_.next();
    auto reading = readAnswer(answer, "save", "a save panel");
    std::optional<SaveAnswer> result;
    const auto fill = [&](SaveAnswer& save) -> bool {
        auto path = readPath(*reading.value, "save", reading.error);
        if (!path) {
            return false;
        }
        save.path = std::move(*path);
        if (const auto password = answer->find("password"); password != answer->end()) {
            if (request.passwordLabel.empty()) {
                reading.error = "the save panel has no password field";
                return false;
            }
            if (!password->is_string()) {
                reading.error = "\"password\" must be text";
                return false;
            }
            save.password = password->get<std::string>();
        }
        save.checked = request.checkBoxState;
        if (const auto check = answer->find("check"); check != answer->end()) {
            if (request.checkBoxTitle.empty()) {
                reading.error = "the save panel has no check box";
                return false;
            }
            if (!check->is_boolean()) {
                reading.error = "\"check\" must be true or false, got " + dumpLine(*check);
                return false;
            }
            save.checked = check->get<bool>();
        }
        const auto& types = request.typeList;
        const bool selectedValid = request.selectedType >= 0 &&
                                   static_cast<std::size_t>(request.selectedType) < types.size();
        save.typeIndex = types.empty() ? -1 : (selectedValid ? request.selectedType : 0);
        if (const auto type = answer->find("type"); type != answer->end()) {
            if (types.empty()) {
                reading.error = "the save panel has no list of types";
                return false;
            }
            if (type->is_string()) {
                const auto found = std::find(types.begin(), types.end(), type->get<std::string>());
                if (found == types.end()) {
                    reading.error = "no type " + dumpLine(*type) + " in the list";
                    return false;
                }
                save.typeIndex = static_cast<int>(found - types.begin());
            } else if (const auto index =
                           integerWithin(*type, 0, static_cast<long long>(types.size()) - 1)) {
                save.typeIndex = static_cast<int>(*index);
            } else {
                reading.error = "\"type\" must be a type of the list or its index from 0, got " +
                                dumpLine(*type);
                return false;
            }
        }
        return true;
    };
    if (reading.value != nullptr) {
        SaveAnswer save;
        if (fill(save)) {
            result = std::move(save);
        }
    }
    if (result) {
        json given = {{"path", result->path}};
        // The password itself never reaches the transcript.
        if (!result->password.empty()) {
            given["password"] = "***";
        }
        if (!request.checkBoxTitle.empty()) {
            given["checked"] = result->checked;
        }
        if (result->typeIndex >= 0) {
            given["type"] = request.typeList[static_cast<std::size_t>(result->typeIndex)];
        }
        line["answer"] = std::move(given);
    } else {
        line["answer"] = nullptr;
    }
    noteError(line, reading.error);
    transcript_.write(line);
    return result;
}

void HeadlessUi::pickColour(ColourPickRequest request) {
    json line = {{"type", "pick-colour"}};
    const auto answer = answers_.next();
    ColourPick pick;
    pick.status = ColourPickStatus::Cancelled;
    std::string error;
    std::string sampler = "desktop";
    if (answer) {
        if (const auto named = answer->find("sampler"); named != answer->end()) {
            if (named->is_string() &&
                (*named == "desktop" || *named == "magnifier" || *named == "none")) {
                sampler = named->get<std::string>();
            } else {
                error = "\"sampler\" must be \"desktop\", \"magnifier\" or \"none\", got " +
                        dumpLine(*named);
            }
        }
    }
    line["sampler"] = sampler;
    if (sampler == "none" && error.empty()) {
        pick.status = ColourPickStatus::Unavailable;
        line["answer"] = nullptr;
    } else {
        pick.sampler = sampler == "magnifier" ? ColourSampler::Magnifier : ColourSampler::Desktop;
        Reading reading = error.empty() ? readAnswer(answer, "colour", "a colour pick") : Reading{};
        if (reading.value != nullptr) {
            if (const auto colour = readColour(*reading.value, reading.error)) {
                pick.status = ColourPickStatus::Picked;
                pick.colour = *colour;
            }
        }
        if (error.empty()) {
            error = reading.error;
        }
        line["answer"] = pick.status == ColourPickStatus::Picked
                             ? json::array({pick.colour.red, pick.colour.green, pick.colour.blue})
                             : json(nullptr);
    }
    noteError(line, error);
    transcript_.write(line);
    if (pick.status != ColourPickStatus::Unavailable && pick.sampler == ColourSampler::Magnifier &&
        request.beforeMagnifier) {
        request.beforeMagnifier();
    }
    if (request.done) {
        request.done(pick);
    }
}

std::optional<std::string> HeadlessUi::askText(const TextRequest& request) {
    json line = {{"type", "text"},
                 {"message", request.message},
                 {"informative", request.informative},
                 {"default", request.defaultText}};
    const auto answer = answers_.next();
    auto reading = readAnswer(answer, "text", "a text question");
    std::optional<std::string> text;
    if (reading.value != nullptr) {
        if (reading.value->is_string()) {
            text = reading.value->get<std::string>();
        } else {
            reading.error = "\"text\" must be text, got " + dumpLine(*reading.value);
        }
    }
    line["answer"] = text ? json(*text) : json(nullptr);
    noteError(line, reading.error);
    transcript_.write(line);
    return text;
}

// --- HeadlessUi: progress window ---

void HeadlessUi::open() {
    open_ = true;
    transcript_.write({{"type", "progress"}, {"step", "open"}});
}

void HeadlessUi::setPercent(double percent) {
    percent_ = std::isnan(percent) ? 0.0 : std::clamp(percent, 0.0, 1.0);
    transcript_.write({{"type", "progress"},
                       {"step", "percent"},
                       {"percent", percent_},
                       {"text", percentText(percent_)}});
}

double HeadlessUi::percent() const {
    return percent_;
}

void HeadlessUi::close() {
    open_ = false;
    transcript_.write({{"type", "progress"}, {"step", "close"}});
}

void HeadlessUi::showSuccess(const std::string& message, std::function<void()> complete) {
    open_ = true;
    transcript_.write({{"type", "progress"}, {"step", "success"}, {"message", message}});
    auto finish = [this, complete = std::move(complete)] {
        close();
        if (complete) {
            complete();
        }
    };
    if (poster_) {
        poster_(std::move(finish), successDelay_);
    } else {
        finish();
    }
}

void HeadlessUi::setCancelHandler(std::function<void()> handler) {
    cancelHandler_ = std::move(handler);
}

void HeadlessUi::pressCancel() {
    transcript_.write({{"type", "progress"}, {"step", "cancel"}});
    auto handler = std::exchange(cancelHandler_, nullptr);
    close();
    if (handler) {
        handler();
    }
}

// --- HeadlessUi: clipboard ---

void HeadlessUi::clearContents() {
    const std::lock_guard guard(pasteboardMutex_);
    pasteboardText_.clear();
}

bool HeadlessUi::setString(const std::string& text) {
    {
        const std::lock_guard guard(pasteboardMutex_);
        pasteboardText_ = text;
    }
    transcript_.write({{"type", "pasteboard"}, {"text", text}});
    return true;
}

std::string HeadlessUi::pasteboardText() const {
    const std::lock_guard guard(pasteboardMutex_);
    return pasteboardText_;
}

// --- RecordingWorkspace ---

RecordingWorkspace::RecordingWorkspace(Transcript& transcript, Workspace* inner)
    : transcript_(transcript), inner_(inner) {}

bool RecordingWorkspace::launchApplication(std::string_view application,
                                           const std::vector<std::string>& paths) {
    const bool ok = inner_ == nullptr || inner_->launchApplication(application, paths);
    transcript_.write({{"type", "launch"},
                       {"application", std::string(application)},
                       {"paths", paths},
                       {"ok", ok}});
    return ok;
}

std::vector<bool> RecordingWorkspace::hasApplications(
    const std::vector<std::string>& applications) {
    // Whether an application is installed is a fact of this machine, not something to record:
    // without a real desktop the answer still comes from the applications folders.
    return inner_ != nullptr ? inner_->hasApplications(applications)
                             : installedApplications(applications);
}

bool RecordingWorkspace::openPath(const std::string& path) {
    const bool ok = inner_ == nullptr || inner_->openPath(path);
    transcript_.write({{"type", "open"}, {"path", path}, {"ok", ok}});
    return ok;
}

bool RecordingWorkspace::openUrl(const std::string& url) {
    const bool ok = inner_ == nullptr || inner_->openUrl(url);
    transcript_.write({{"type", "open-url"}, {"url", url}, {"ok", ok}});
    return ok;
}

bool RecordingWorkspace::launchHostApplication(const std::vector<std::string>& paths) {
    const bool ok = inner_ == nullptr || inner_->launchHostApplication(paths);
    transcript_.write({{"type", "launch-host"}, {"paths", paths}, {"ok", ok}});
    return ok;
}

bool RecordingWorkspace::runService(std::string_view service,
                                    const std::vector<std::string>& paths) {
    const bool ok = inner_ == nullptr || inner_->runService(service, paths);
    transcript_.write(
        {{"type", "service"}, {"service", std::string(service)}, {"paths", paths}, {"ok", ok}});
    return ok;
}

// --- RecordingProcessRunner ---

RecordingProcessRunner::RecordingProcessRunner(Transcript& transcript, ProcessRunner& inner)
    : transcript_(transcript), inner_(inner) {}

ProcessResult RecordingProcessRunner::run(const ProcessRequest& request) {
    ProcessResult result = inner_.run(request);
    json line = {{"type", "process"},
                 {"argv", request.argv},
                 {"cwd", nullOr(request.workingDirectory)},
                 {"exit", result.exitCode},
                 {"signal", result.signal},
                 {"started", result.started}};
    if (!result.started) {
        line["error"] = result.error;
    }
    transcript_.write(line);
    return result;
}

bool RecordingProcessRunner::spawnDetached(const ProcessRequest& request) {
    const bool ok = inner_.spawnDetached(request);
    transcript_.write({{"type", "spawn"},
                       {"argv", request.argv},
                       {"cwd", nullOr(request.workingDirectory)},
                       {"ok", ok}});
    return ok;
}

}  // namespace tf
