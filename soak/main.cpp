// emgbridge_soak [SECONDS]: runs the server under load and faults for
// SECONDS (default: $SOAK_SECONDS, else 300) and checks that it survives intact.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "soak/soak_run.h"

namespace {

constexpr int DEFAULT_SECONDS = 300;
constexpr int FEWEST_SECONDS = 20;
constexpr int MOST_SECONDS = 24 * 3600;

}  // namespace

int main(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : std::getenv("SOAK_SECONDS");
    int seconds = DEFAULT_SECONDS;
    if (text && *text) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (*end != '\0' || value < FEWEST_SECONDS || value > MOST_SECONDS) {
            std::fprintf(stderr, "usage: emgbridge_soak [SECONDS]  (%d..%d; default $SOAK_SECONDS or %d)\n",
                         FEWEST_SECONDS, MOST_SECONDS, DEFAULT_SECONDS);
            return 2;
        }
        seconds = static_cast<int>(value);
    }
    return runSoak(seconds);
}
