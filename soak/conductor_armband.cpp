// The conductor's armband episodes: scan, connect and configure, and the
// faults of each step (failed and silent calls, an armband out of range or
// without configuration object, a lost connection).
#include <random>

#include "soak/conductor.h"

namespace {

constexpr int SCAN_TIMEOUT_MS = 12000;
constexpr int CONNECT_TIMEOUT_MS = 15000;
constexpr int ATTEMPTS = 3;

Match code(uint8_t c) {
    return [c](const Bytes& m) { return m[0] == c; };
}

}  // namespace

bool Conductor::scanAndConnect() {
    uint64_t since = mark();
    allow(0x02, 0x00, SCAN_TIMEOUT_MS);
    send({0x02, 0x00});
    if (!expectExact(since, {0x02, 0x00}, SCAN_TIMEOUT_MS, "scan finds the armband")) return false;
    since = mark();
    allow(0x03, 0x00, CONNECT_TIMEOUT_MS);
    send({0x03});
    if (!expectExact(since, {0x03, 0x00}, CONNECT_TIMEOUT_MS, "connect reports the connection")) return false;
    connected_ = true;
    configured_ = false;
    return true;
}

bool Conductor::configure() {
    const uint64_t since = mark();
    allow(0x05, 0x00, REPLY_TIMEOUT_MS);
    send({0x05, CHANNEL_MASK, GESTURE_MASK});
    configured_ = expectExact(since, {0x05, 0x00}, REPLY_TIMEOUT_MS, "the EMG stream is configured");
    return configured_;
}

// Finds out where the armband is and brings it back to connected.
bool Conductor::recoverArmband() {
    const std::string status = control("status");
    if (status.find("\"state\":3") != std::string::npos) {
        const uint64_t since = mark();
        allow(0x04, 0x00, REPLY_TIMEOUT_MS);
        control("drop");
        expect(since, is({0x04, 0x00}), REPLY_TIMEOUT_MS, "recovery: the lost armband is reported", "[04 00]");
    }
    connected_ = false;
    configured_ = false;
    controlOk("present 1");
    controlOk("no-config 0");
    return scanAndConnect() && configure();
}

bool Conductor::ensureReady() {
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        if (connected_ && configured_) return true;
        if (attempt > 0) {
            note("conductor: bringing the armband back");
            if (recoverArmband()) return true;
            continue;
        }
        if (!connected_ && !scanAndConnect()) continue;
        if (!configured_) configure();
    }
    return connected_ && configured_;
}

void Conductor::episodeConnectionFaults() {
    if (!ensureReady()) return;
    note("episode: connection faults");
    // Malformed commands of the armband codes.
    const std::pair<Bytes, Bytes> refusals[] = {
        {{0x02}, {0x02, 0xFF}},       {{0x03, 0x00}, {0x03, 0xFF}},       {{0x04, 0x00, 0x01}, {0x04, 0xFF}},
        {{0x05, 0xFF}, {0x05, 0xFF}}, {{0x05, 0xFF, 0x07, 0x00}, {0x05, 0xFF}},
    };
    for (const auto& [command, reply] : refusals) {
        const uint64_t since = mark();
        allow(reply[0], reply[1], REPLY_TIMEOUT_MS);
        send(command);
        expectExact(since, reply, REPLY_TIMEOUT_MS, "commands of a wrong length are refused");
    }
    uint64_t since = mark();
    allow(0x03, 0xFF, REPLY_TIMEOUT_MS);
    send({0x03});
    expectExact(since, {0x03, 0xFF}, REPLY_TIMEOUT_MS, "connect while connected is refused");

    // A disconnection the armband refuses, then one it carries out.
    controlOk("fail disconnect", "fail disconnect");
    since = mark();
    allow(0x04, 0xFF, REPLY_TIMEOUT_MS);
    send({0x04});
    expectExact(since, {0x04, 0xFF}, REPLY_TIMEOUT_MS, "a refused disconnection is reported");
    since = mark();
    allow(0x04, 0x00, REPLY_TIMEOUT_MS);
    send({0x04});
    if (!expectExact(since, {0x04, 0x00}, REPLY_TIMEOUT_MS, "a disconnection is reported")) return;
    connected_ = configured_ = false;

    // Without an armband: connect, model update and versions.
    since = mark();
    allow(0x03, 0xFF, REPLY_TIMEOUT_MS);
    send({0x03});
    expectExact(since, {0x03, 0xFF}, REPLY_TIMEOUT_MS, "connect without an armband is refused");
    since = mark();
    allow(0x05, 0xF2, REPLY_TIMEOUT_MS);
    send({0x05, CHANNEL_MASK, GESTURE_MASK});
    expectExact(since, {0x05, 0xF2}, REPLY_TIMEOUT_MS, "configuration without an armband is refused");
    if (weightsMatch()) {
        since = mark();
        allow(0x0C, 0xF2, REPLY_TIMEOUT_MS);
        send({0x0C});
        expectExact(since, {0x0C, 0xF2}, REPLY_TIMEOUT_MS, "model update without an armband is refused");
    }

    // A scan that cannot start, and one that finds nothing until the armband is back in range.
    controlOk("fail scan", "fail scan");
    since = mark();
    allow(0x02, 0xFF, REPLY_TIMEOUT_MS);
    send({0x02, 0x01});
    expectExact(since, {0x02, 0xFF}, REPLY_TIMEOUT_MS, "a scan that cannot start is refused");
    quiet(since, is({0x02, 0x00}), 1500, "a refused scan finds nothing", "scan result");
    controlOk("present 0", "present 0");
    since = mark();
    allow(0x02, 0x00, 60000);
    send({0x02, 0x02});
    quiet(since, is({0x02, 0x00}), 2500, "nothing is found out of range", "scan result");
    controlOk("present 1");
    expectExact(since, {0x02, 0x00}, SCAN_TIMEOUT_MS, "the scan goes on until the armband is in range");

    // A refused connection, then one whose first configuration calls fail.
    controlOk("fail connect", "fail connect");
    since = mark();
    allow(0x03, 0xFF, REPLY_TIMEOUT_MS);
    send({0x03});
    expectExact(since, {0x03, 0xFF}, REPLY_TIMEOUT_MS, "a refused connection is reported");
    controlOk("fail package-id", "fail package-id");
    controlOk("fail notify", "fail notify");
    since = mark();
    allow(0x03, 0x00, CONNECT_TIMEOUT_MS);
    send({0x03});
    if (!expectExact(since, {0x03, 0x00}, CONNECT_TIMEOUT_MS, "connect reports the connection")) return;
    connected_ = true;

    // Configuration: refused, silent, without configuration object, then done.
    controlOk("fail emg-config", "fail emg-config");
    since = mark();
    allow(0x05, 0xF0, REPLY_TIMEOUT_MS);
    send({0x05, CHANNEL_MASK, GESTURE_MASK});
    expectExact(since, {0x05, 0xF0}, REPLY_TIMEOUT_MS, "a refused configuration is reported");
    controlOk("mute emg-config", "mute emg-config");
    since = mark();
    send({0x05, CHANNEL_MASK, GESTURE_MASK});
    quiet(since, code(0x05), 1500, "a silent configuration call draws no reply", "configuration result");
    controlOk("no-config 1", "no-config 1");
    since = mark();
    allow(0x05, 0xF1, REPLY_TIMEOUT_MS);
    send({0x05, CHANNEL_MASK, GESTURE_MASK});
    expectExact(since, {0x05, 0xF1}, REPLY_TIMEOUT_MS, "a missing configuration object is reported");
    since = mark();
    send({0x30});
    const std::string empty = "000.005.012//";
    Bytes versionsWithout{0x30};
    versionsWithout.insert(versionsWithout.end(), empty.begin(), empty.end());
    expectExact(since, versionsWithout, REPLY_TIMEOUT_MS, "versions are empty without configuration object");
    controlOk("no-config 0");
    configure();
}

void Conductor::episodeDropAndReconnect() {
    if (!ensureReady()) return;
    static std::minstd_rand random(7);
    const std::string reason = std::to_string(random() % 256);
    note("episode: armband lost (reason " + reason + ") and reconnected");
    const uint64_t since = mark();
    allow(0x04, 0x00, REPLY_TIMEOUT_MS);
    controlOk("drop " + reason, "drop");
    if (!expectExact(since, {0x04, 0x00}, REPLY_TIMEOUT_MS, "a lost armband is reported")) return;
    connected_ = configured_ = false;
    report_.check(control("drop").rfind("error", 0) == 0, "a lost armband cannot be lost again");
    scanAndConnect() && configure();
}
