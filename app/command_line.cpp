#include "app/command_line.h"

#include <cstring>

#include "core/number_text.h"
#include "platform/directories.h"

const char* serverUsage() {
    return "usage: emgbridge [options]\n"
           "       emgbridge evaluate [--help]\n"
           "       emgbridge control [--port N] LINE...\n"
           "\n"
           "Serves the armband to the training application (WebSocket) and the web\n"
           "console (http://localhost:8888/) on one port.\n"
           "\n"
           "  --host ADDRESS        listen on this address (default: 127.0.0.1 and ::1, this\n"
           "                        machine only). With 0.0.0.0, :: or a network address,\n"
           "                        anyone who can reach the port can drive the armband\n"
           "                        and read the recordings\n"
           "  --port N              port of the WebSocket endpoint and console (default 8888)\n"
           "  --control-port N      port of the virtual armband's control endpoint on\n"
           "                        127.0.0.1 (default 8889; only with the virtual armband)\n"
           "  --data-dir DIR        folder of recordings and model files (default: the\n"
           "                        working directory; created if missing)\n"
           "  --allow-host NAME     also accept requests for this host name (repeatable)\n"
           "  --allow-origin ORIGIN also accept WebSocket clients from this web origin,\n"
           "                        e.g. http://app.example:3000 (repeatable)\n"
           "  --no-console          WebSocket endpoint only, no web console or HTTP API\n"
           "  --help                this text\n"
           "  --version             the server's version\n";
}

OptionsOutcome parseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") return OptionsOutcome::SHOW_HELP;
        if (option == "--version") return OptionsOutcome::SHOW_VERSION;
        if (option == "--no-console") {
            options.console = false;
            continue;
        }
        const bool takesValue = option == "--host" || option == "--port" || option == "--control-port" ||
                                option == "--data-dir" ||
                                option == "--allow-host" || option == "--allow-origin";
        if (!takesValue) {
            error = "unknown option '" + option + "' (see --help)";
            return OptionsOutcome::BAD_OPTION;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            error = "option " + option + " needs a value";
            return OptionsOutcome::BAD_OPTION;
        }
        const std::string value = argv[++i];
        if (option == "--host") {
            options.host = value;
        } else if (option == "--port" || option == "--control-port") {
            const std::optional<int> port = parsePort(value);
            if (!port) {
                error = option + " takes a number from 1 to 65535, not '" + value + "'";
                return OptionsOutcome::BAD_OPTION;
            }
            (option == "--port" ? options.port : options.controlPort) = *port;
        } else if (option == "--data-dir") {
            options.dataDir = value;
        } else if (option == "--allow-host") {
            options.allowedHosts.push_back(value);
        } else {
            options.allowedOrigins.push_back(value);
        }
    }
    return OptionsOutcome::RUN;
}

bool enterDataDir(const std::string& dataDir, std::string& error) {
    if (dataDir.empty()) return true;
    int failure = platform::makeDirectories(dataDir);
    if (failure == 0) failure = platform::enterDirectory(dataDir);
    if (failure != 0) {
        error = "cannot use data folder '" + dataDir + "': " + std::strerror(failure);
        return false;
    }
    return true;
}

std::string consoleUrl(const ServerOptions& options) {
    std::string host = options.host;
    if (host.empty() || host == "0.0.0.0" || host == "::") host = "localhost";
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(options.port) + "/";
}
