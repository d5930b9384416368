#include "app/control_command.h"

#include <cstdio>
#include <string>

#include "core/loopback_client.h"
#include "core/number_text.h"
#include "core/server_options.h"

namespace {

constexpr int CONNECT_TIMEOUT_MS = 1000;
constexpr int ANSWER_TIMEOUT_MS = 5000;

const char* const USAGE =
    "usage: emgbridge control [--port N] LINE...\n"
    "Sends each LINE to the virtual armband's control endpoint on 127.0.0.1\n"
    "(port 8889 by default) and prints each answer, e.g.\n"
    "  emgbridge control 'gesture 3' status\n";

}  // namespace

int runControlCommand(int argc, char** argv) {
    int port = DEFAULT_CONTROL_PORT;
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "--help") {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (argc > 2 && std::string(argv[1]) == "--port") {
        const std::optional<int> given = parsePort(argv[2]);
        if (!given) {
            std::fprintf(stderr, "emgbridge control: --port takes a number from 1 to 65535, not '%s'\n", argv[2]);
            return 2;
        }
        port = *given;
        first = 3;
    }
    if (first >= argc) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    ControlClient client;
    if (!client.connect(port, CONNECT_TIMEOUT_MS)) {
        std::fprintf(
            stderr,
            "emgbridge control: no control endpoint on 127.0.0.1:%d (is emgbridge running on the virtual armband?)\n",
            port);
        return 1;
    }
    for (int i = first; i < argc; ++i) {
        const std::string answer = client.command(argv[i], ANSWER_TIMEOUT_MS);
        if (answer.empty()) {
            std::fprintf(stderr, "emgbridge control: no answer to '%s'\n", argv[i]);
            return 1;
        }
        std::printf("%s\n", answer.c_str());
        if (answer.rfind("error", 0) == 0) return 1;
    }
    return 0;
}
