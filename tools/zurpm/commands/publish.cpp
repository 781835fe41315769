// zurpm publish: start once, poll the gates of a gate file as `poll` does, and publish them to an
// MQTT broker (plain topics or Sparkplug B) until Ctrl-C or SIGTERM; then leave the broker
// cleanly and stop with command 11. The broker may come and go meanwhile: the poll goes on.
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "commands.h"
#include "definitions.h"
#include "gate_file.h"
#include "open_session.h"
#include "poller.h"
#include "publish_scheme.h"
#include "publisher.h"
#include "read_plan.h"
#include "sparkplug_node.h"
#include "tool_error.h"
#include "topic_name.h"

namespace zurtool {

namespace {

std::optional<std::string> passwordOf(const PublishOptions& options) {
    if (!options.passwordFile.empty()) {
        std::ifstream in(options.passwordFile);
        std::string line;
        if (!in || !std::getline(in, line)) throw badInput("cannot read the password file " + options.passwordFile);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    if (const char* password = std::getenv("ZURPM_MQTT_PASSWORD")) return std::string(password);
    return std::nullopt;
}

PublishSettings settingsOf(const PublishOptions& options, const std::vector<GateItem>& items) {
    PublishSettings settings;
    std::string problem;
    const auto address = broker::parseBrokerAddress(options.broker, &problem);
    if (!address) throw badInput("--broker " + options.broker + ": " + problem);
    settings.broker = *address;
    settings.node = options.node.empty() ? nodeNameDefault() : options.node;
    if (const auto why = broker::topicLevelProblem(settings.node)) throw badInput("--node '" + settings.node + "': " + *why);
    if (options.sparkplugGroup) {
        if (const auto why = broker::sparkplug::idProblem(*options.sparkplugGroup))
            throw badInput("--sparkplug '" + *options.sparkplugGroup + "': " + *why);
        settings.sparkplugGroup = options.sparkplugGroup;
    }
    settings.clientId = options.clientId.empty() ? "zurpm-" + settings.node : options.clientId;
    settings.password = passwordOf(options);
    if (!options.user.empty()) settings.user = options.user;
    if (settings.password && !settings.user)
        throw badInput("a password (--password-file or ZURPM_MQTT_PASSWORD) needs --user");
    settings.keepAliveSeconds = options.keepAliveSeconds;
    settings.republishMs = options.republishSeconds * 1000;
    if (options.deadband < 0) throw badInput("--deadband must not be negative");
    settings.deadband = options.deadband;
    settings.statsMs = options.statsSeconds * 1000;
    if (!options.writable.empty()) settings.writable = readWritable(options.writable, items);
    return settings;
}

}  // namespace

int runPublish(const CommonOptions& common, const PublishOptions& options) {
    if (options.gateFile.empty()) throw badInput("publish needs --gates FILE");
    const std::vector<GateItem> items = collectGates({}, options.gateFile);
    checkGateNames(items, options.gateFile);
    if (options.intervalMs == 0) throw badInput("--interval must be at least 1 ms");
    PublishSettings settings = settingsOf(options, items);

    catchStopSignals();
    Publisher publisher(std::move(settings), broker::makeSocketConnection());
    publisher.connectFirst();

    SessionRequest request;
    request.driverPath = common.driverPath;
    request.gates = items;
    const auto open = openSession(request);
    if (!open->allAccepted()) {
        publisher.leave();
        return showRefusals(open->gates, open->numberBase, chooseOutputFormat({}, false));
    }
    DriverSession& session = open->session;
    auto echo = std::move(session.echo);
    session.echo = nullptr;  // each message now belongs to a gate's status

    LinkStatistics statistics;
    statistics.setGates(open->gates);
    ReadPlan plan(session, open->gates, !options.noGroup);
    publisher.attach(&session, open->gates);
    const uint64_t begin = broker::steadyClockMs();
    for (uint64_t poll = 0; !stopRequested(); ++poll) {
        publisher.serveUntil(begin + options.intervalMs * poll);
        if (stopRequested()) break;
        const std::vector<GateReading> readings = plan.readAll(session, &statistics, stopRequested);
        publisher.passDone(readings, statistics);
    }
    publisher.leave();
    session.echo = std::move(echo);
    session.stop();
    return exitDone;
}

}  // namespace zurtool
