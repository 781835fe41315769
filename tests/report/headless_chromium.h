// Headless Chromium as the judge of a page: it is started with the DevTools protocol on a pair of
// pipes (no port, no WebSocket), opens one page, and tells what a person's browser would see:
// console errors, uncaught exceptions, every request the page made, the results of expressions run
// in the page, and a picture of it.
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace reporttest {

// The browser program: $CHROMIUM, else chromium (Debian's package) on the PATH; empty when none.
std::string findChromium();

class HeadlessChromium {
public:
    // Starts the browser with a fresh profile in profileDirectory. Throws std::runtime_error when it
    // does not answer.
    HeadlessChromium(const std::string& program, const std::string& profileDirectory);
    ~HeadlessChromium();
    HeadlessChromium(const HeadlessChromium&) = delete;
    HeadlessChromium& operator=(const HeadlessChromium&) = delete;

    // Opens the URL in a new tab of the given width and waits for its load event.
    void open(const std::string& url, int width = 1280, int height = 900);
    // The value of a JavaScript expression in the page (returned by value).
    nlohmann::json evaluate(const std::string& expression);
    // Shows the page as for print (true) or for the screen (false).
    void emulatePrint(bool print);
    // A PNG picture of the whole page, written to path.
    void screenshot(const std::string& path);

    // What the page did: its console errors and uncaught exceptions, and the URLs it requested
    // besides its own.
    const std::vector<std::string>& errors() const { return errors_; }
    const std::vector<std::string>& requests() const { return requests_; }

private:
    nlohmann::json call(const std::string& method, const nlohmann::json& params = nlohmann::json::object(),
                        bool inPage = true);
    nlohmann::json receive();
    void note(const nlohmann::json& event);
    // Reads until an event of this method arrives for the page.
    void waitForEvent(const std::string& method);

    pid_t pid_ = -1;
    int toBrowser_ = -1;
    int fromBrowser_ = -1;
    std::string pending_;
    int nextId_ = 1;
    std::string session_;
    std::string frame_;
    std::vector<nlohmann::json> events_;
    std::vector<std::string> errors_;
    std::vector<std::string> requests_;
};

// The bytes of a base64 text.
std::string decodeBase64(const std::string& text);

}  // namespace reporttest
