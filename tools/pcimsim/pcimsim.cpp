// pcimsim: the hardware we do not have. Serves a plant described in a plant file (PCIM cards,
// their Genius LANs, PLCs and I/O blocks) as the XPORTIO device on a Unix socket, in real time,
// until SIGINT or SIGTERM.
//
//     pcimsim PLANT-FILE [--socket PATH] [--trace] [--chaos SEED]
//
// The socket is where the driver's posix client looks for it: PATH, else $XPORTIO_SOCKET, else
// ./XPORTIO. A stale socket file there is replaced. When the device is served, one line
// "pcimsim: ready on PATH" goes to standard output, so that a script can wait for it.
//
// --chaos SEED switches faults on and off by a schedule drawn from SEED (chaos.h); SIGUSR1 ends it
// and leaves the plant's faults as the plant file has them.
#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "pcimemu/device_server.h"
#include "pcimemu/plant_file.h"
#include "chaos.h"
#include "trace.h"

namespace {

struct Options {
    std::string plantFile;
    std::string socketPath;
    bool trace = false;
    std::optional<uint64_t> chaosSeed;
};

std::string defaultSocketPath() {
    const char* fromEnvironment = std::getenv("XPORTIO_SOCKET");
    return fromEnvironment != nullptr && fromEnvironment[0] != '\0' ? fromEnvironment : "XPORTIO";
}

// Serves until a stop signal. The signals are blocked in every thread (the server's threads inherit
// the mask) and taken here with sigwait, so the stop runs as ordinary code.
int serve(const Options& options) {
    std::string error;
    const std::optional<pcimemu::PlantFile> plant = pcimemu::readPlantFile(options.plantFile, error);
    if (!plant) {
        std::fprintf(stderr, "pcimsim: %s\n", error.c_str());
        return 1;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        pcimemu::DeviceServer server(plant->setup);
        server.withPlant([&](pcimemu::Plant& emulated) {
            emulated.recordEvents(false);  // a long run would otherwise keep every event
            pcimemu::applyInitialValues(emulated, *plant);
            if (options.trace) pcimsim::traceToStandardOutput(emulated);
        });
        if (!server.start(options.socketPath, error)) {
            std::fprintf(stderr, "pcimsim: %s\n", error.c_str());
            return 1;
        }
        std::printf("pcimsim: ready on %s\n", options.socketPath.c_str());
        std::fflush(stdout);

        std::optional<pcimsim::Chaos> chaos;
        if (options.chaosSeed) chaos.emplace(server, *options.chaosSeed, options.trace);
        if (chaos) chaos->start();
        int signal = 0;
        while (sigwait(&stopSignals, &signal) == 0 && signal == SIGUSR1)
            if (chaos) chaos->stop();
        if (chaos) chaos->stop();
        server.stop();
    } catch (const std::exception& problem) {
        std::fprintf(stderr, "pcimsim: %s: %s\n", options.plantFile.c_str(), problem.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{"pcimsim: emulated PCIM cards served as the XPORTIO device on a Unix socket"};
    app.add_option("plant-file", options.plantFile, "the plant, in TOML")->required();
    app.add_option("--socket", options.socketPath, "socket path (default: $XPORTIO_SOCKET, else ./XPORTIO)");
    app.add_option("--chaos", options.chaosSeed, "switch faults on and off by a schedule drawn from this seed (SIGUSR1 ends it)");
    app.add_flag("--trace", options.trace, "each datagram and global-data change, decoded, on standard output");
    CLI11_PARSE(app, argc, argv);
    if (options.socketPath.empty()) options.socketPath = defaultSocketPath();
    return serve(options);
}
