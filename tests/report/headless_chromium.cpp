// The DevTools protocol over --remote-debugging-pipe: the browser reads commands from its file
// descriptor 3 and writes answers and events to its descriptor 4, each message a JSON text ended by
// a NUL byte. One target (tab) is attached in flat mode, so its commands and events carry its
// session id.
#include "headless_chromium.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace reporttest {

namespace {

using Json = nlohmann::json;

// A generous bound for one answer of the browser, so that a hung browser fails the test instead of
// hanging it.
constexpr int answerTimeoutMs = 60000;

void writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("the browser's command pipe is closed");
        done += static_cast<size_t>(n);
    }
}

std::string textOfArguments(const Json& arguments) {
    std::string text;
    for (const Json& argument : arguments) {
        if (!text.empty()) text += " ";
        if (argument.contains("value"))
            text += argument["value"].is_string() ? argument["value"].get<std::string>() : argument["value"].dump();
        else if (argument.contains("description"))
            text += argument["description"].get<std::string>();
    }
    return text;
}

}  // namespace

std::string findChromium() {
    if (const char* chosen = std::getenv("CHROMIUM"); chosen != nullptr && *chosen != '\0') return chosen;
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    size_t at = 0;
    while (at <= directories.size()) {
        const size_t end = std::min(directories.find(':', at), directories.size());
        for (const char* name : {"chromium", "chromium-browser"}) {
            const std::filesystem::path candidate = std::filesystem::path(directories.substr(at, end - at)) / name;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        }
        at = end + 1;
    }
    return {};
}

HeadlessChromium::HeadlessChromium(const std::string& program, const std::string& profileDirectory) {
    int commands[2];
    int answers[2];
    if (::pipe(commands) != 0 || ::pipe(answers) != 0) throw std::runtime_error("no pipes for the browser");
    const std::string log = (std::filesystem::path(profileDirectory) / "chromium.log").string();
    std::vector<std::string> args{program,
                                  "--headless",
                                  "--remote-debugging-pipe",
                                  // A browser run as root has no sandbox; the page is our own.
                                  "--no-sandbox",
                                  "--disable-gpu",
                                  "--disable-dev-shm-usage",
                                  "--no-first-run",
                                  "--no-default-browser-check",
                                  "--disable-extensions",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  // A request that escapes the page resolves nowhere: it is seen, never sent.
                                  "--host-resolver-rules=MAP * ~NOTFOUND",
                                  "--user-data-dir=" + profileDirectory,
                                  "about:blank"};
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("cannot start the browser");
    if (pid_ == 0) {
        ::setpgid(0, 0);  // the browser and its helper processes are stopped together
        ::dup2(commands[0], 3);
        ::dup2(answers[1], 4);
        const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output >= 0) {
            ::dup2(output, 1);
            ::dup2(output, 2);
        }
        for (int fd = 5; fd < 1024; ++fd) ::close(fd);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(commands[0]);
    ::close(answers[1]);
    toBrowser_ = commands[1];
    fromBrowser_ = answers[0];
    ::fcntl(toBrowser_, F_SETFD, FD_CLOEXEC);
    ::fcntl(fromBrowser_, F_SETFD, FD_CLOEXEC);
    call("Browser.getVersion", Json::object(), false);
}

HeadlessChromium::~HeadlessChromium() {
    if (pid_ <= 0) return;
    try {
        if (toBrowser_ >= 0) writeAll(toBrowser_, Json{{"id", nextId_++}, {"method", "Browser.close"}}.dump() + '\0');
    } catch (const std::exception&) {
    }
    if (toBrowser_ >= 0) ::close(toBrowser_);
    // It closes by itself within moments; then its helpers go with it.
    int status = 0;
    bool exited = false;
    for (int i = 0; i < 100 && !exited; ++i) {
        exited = ::waitpid(pid_, &status, WNOHANG) == pid_;
        if (!exited) ::usleep(50000);
    }
    ::kill(-pid_, SIGKILL);
    if (!exited) ::waitpid(pid_, &status, 0);
    if (fromBrowser_ >= 0) ::close(fromBrowser_);
}

Json HeadlessChromium::receive() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(answerTimeoutMs);
    for (;;) {
        const size_t end = pending_.find('\0');
        if (end != std::string::npos) {
            const std::string text = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return Json::parse(text);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw std::runtime_error("the browser did not answer within 60 s");
        pollfd wait{fromBrowser_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char buffer[65536];
        const ssize_t n = ::read(fromBrowser_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("the browser closed its pipe (see chromium.log in its profile)");
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

Json HeadlessChromium::call(const std::string& method, const Json& params, bool inPage) {
    const int id = nextId_++;
    Json message{{"id", id}, {"method", method}, {"params", params}};
    if (inPage) message["sessionId"] = session_;
    writeAll(toBrowser_, message.dump() + '\0');
    for (;;) {
        Json answer = receive();
        if (answer.contains("id") && answer["id"] == id) {
            if (answer.contains("error")) throw std::runtime_error(method + ": " + answer["error"].dump());
            return answer["result"];
        }
        note(answer);
    }
}

void HeadlessChromium::note(const Json& event) {
    if (!event.contains("method")) return;
    // Only the page now open counts; a page opened before may still be talking.
    if (event.value("sessionId", "") != session_) return;
    const std::string method = event["method"];
    const Json& params = event["params"];
    if (method == "Runtime.consoleAPICalled") {
        const std::string type = params.value("type", "");
        if (type == "error" || type == "assert")
            errors_.push_back("console." + type + ": " + textOfArguments(params.value("args", Json::array())));
    } else if (method == "Runtime.exceptionThrown") {
        const Json& details = params["exceptionDetails"];
        std::string text = details.value("text", "exception");
        if (details.contains("exception")) text += " " + details["exception"].value("description", "");
        errors_.push_back(text);
    } else if (method == "Log.entryAdded") {
        const Json& entry = params["entry"];
        if (entry.value("level", "") == "error")
            errors_.push_back(entry.value("source", "") + ": " + entry.value("text", "") + " " + entry.value("url", ""));
    } else if (method == "Network.requestWillBeSent") {
        // The page's own document is the navigation's request, the one whose id is the loader's.
        const bool ownDocument = params.value("requestId", "") == params.value("loaderId", "") &&
                                 params.value("type", "") == "Document" && params.value("frameId", "") == frame_;
        if (!ownDocument) requests_.push_back(params["request"].value("url", ""));
    }
    events_.push_back(event);
}

void HeadlessChromium::waitForEvent(const std::string& method) {
    for (;;) {
        for (auto it = events_.begin(); it != events_.end(); ++it) {
            if ((*it)["method"] == method && it->value("sessionId", "") == session_) {
                events_.erase(it);
                return;
            }
        }
        note(receive());
    }
}

void HeadlessChromium::open(const std::string& url, int width, int height) {
    const Json target = call("Target.createTarget", {{"url", "about:blank"}}, false);
    const Json attached =
        call("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}}, false);
    session_ = attached["sessionId"];
    for (const char* domain : {"Runtime.enable", "Log.enable", "Network.enable", "Page.enable"}) call(domain);
    call("Emulation.setDeviceMetricsOverride",
         {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}});
    events_.clear();
    frame_ = target["targetId"];  // a tab's main frame has the tab's id
    const Json navigated = call("Page.navigate", {{"url", url}});
    if (navigated.contains("errorText")) throw std::runtime_error("cannot open " + url + ": " + navigated["errorText"].dump());
    waitForEvent("Page.loadEventFired");
}

Json HeadlessChromium::evaluate(const std::string& expression) {
    const Json result = call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}});
    if (result.contains("exceptionDetails"))
        throw std::runtime_error("in the page: " + result["exceptionDetails"].dump());
    return result["result"].value("value", Json());
}

void HeadlessChromium::emulatePrint(bool print) {
    call("Emulation.setEmulatedMedia", {{"media", print ? "print" : ""}});
}

void HeadlessChromium::screenshot(const std::string& path) {
    const Json metrics = call("Page.getLayoutMetrics");
    const Json& size = metrics["cssContentSize"];
    const Json shot = call("Page.captureScreenshot",
                           {{"format", "png"},
                            {"captureBeyondViewport", true},
                            {"clip", {{"x", 0}, {"y", 0}, {"width", size["width"]}, {"height", size["height"]}, {"scale", 1}}}});
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << decodeBase64(shot["data"].get<std::string>());
    if (!file) throw std::runtime_error("cannot write " + path);
}

std::string decodeBase64(const std::string& text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string bytes;
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const int v = value(c);
        if (v < 0) continue;  // padding and line breaks
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

}  // namespace reporttest
