// The conductor's messaging: sending, reading, what its commands allow the
// server to send, and the checks of every message that arrives.
#include <poll.h>

#include <algorithm>

#include "soak/conductor.h"

namespace {

constexpr size_t INBOX_LIMIT = 20000;
constexpr int64_t RECORDING_MS = 30000;
// The earliest a record result can follow RECORD_START (the timer runs 30 s).
constexpr int64_t EARLIEST_RESULT_MS = RECORDING_MS - 500;
constexpr int PREVIEW_GRACE_MS = 1500;
constexpr int64_t LIFE_CHECK_MS = 1000;
// Up to three silent stream switches (9 s) and silent version queries may come first.
constexpr int SYNC_TIMEOUT_MS = 25000;

bool noise(const Bytes& m) {
    // Replies the background clients' commands draw.
    if (m[0] == 0x01 || m[0] == 0x30) return true;
    if (m.size() != 2) return false;
    switch (m[0]) {
        case 0x0A: return m[1] == 0xFD || m[1] == 0xFF;
        case 0x0C: return m[1] == 0xFD || m[1] == 0xFF || m[1] == 0xEF;
        case 0x08: return m[1] == 0xFF;
        default: return false;
    }
}

}  // namespace

Conductor::Conductor(Report& report, Ledger& ledger, ServerProcess& server, VersionTexts versions)
    : report_(report), ledger_(ledger), server_(server), versions_(std::move(versions)) {}

bool Conductor::open() { return peer_.connect(8888, 5000) && control_.connect(); }

void Conductor::send(const Bytes& command) {
    report_.count("commands sent");
    report_.count("conductor commands sent");
    if (peer_.send(command)) return;
    report_.violation("conductor connection stays up", "a send failed");
    if (peer_.connect(8888, 5000)) peer_.send(command);
}

void Conductor::allow(uint8_t code, int status, int ttlMs, int count) {
    allowances_.push_back({code, status, nowMs() + ttlMs, count});
}

bool Conductor::allowed(const Bytes& m) {
    const int64_t now = nowMs();
    allowances_.erase(std::remove_if(allowances_.begin(), allowances_.end(),
                                     [now](const Allowance& a) { return a.untilMs < now || a.remaining == 0; }),
                      allowances_.end());
    const int status = m.size() > 1 ? m[1] : -1;
    for (Allowance& a : allowances_) {
        if (a.code != m[0] || (a.status != -1 && a.status != status)) continue;
        if (a.remaining > 0) --a.remaining;
        return true;
    }
    return false;
}

void Conductor::onRecordResult(uint8_t status) {
    const int64_t now = nowMs();
    if (status == 0xFD) {
        if (stopsExpected_ == 0) report_.violation("record replies only when asked for", "[06 fd] without RECORD_STOP");
        if (stopsExpected_ > 0) --stopsExpected_;
        return;
    }
    if (status == 0xFF && refusalsExpected_ > 0) {
        --refusalsExpected_;
        return;
    }
    if (!recording_) {
        report_.violation("record replies only when asked for",
                     status == 0x00 ? "[06 00] with no recording under way" : "[06 ff] unasked");
        return;
    }
    report_.check(now - recordStartedMs_ >= EARLIEST_RESULT_MS, "a recording lasts 30 s",
                  "result after " + std::to_string(now - recordStartedMs_) + " ms");
    recording_ = false;
    recordResultMs_ = now;
    recordOutcome_ = status == 0x00 ? RecordOutcome::SAVED : RecordOutcome::FAILED;
}

void Conductor::onMessage(const WsMessage& message) {
    ++repliesChecked_;
    const std::string violation = protocolViolation(message, versions_);
    if (!violation.empty()) {
        report_.violation("protocol of server messages", violation + " " + describe(message.payload));
        return;
    }
    const Bytes& m = message.payload;
    if (m[0] == 0x07) {
        ++previewsSeen_;
        if (ledger_.pending()) {
            ledger_.preview(m);
        } else {
            if (nowMs() >= previewGraceUntilMs_) report_.violation("previews only while recording", describe(m));
        }
        return;
    }
    if (m[0] == 0x06) {
        onRecordResult(m[1]);
    } else if (!noise(m)) {
        if (!allowed(m)) report_.violation("no message the conductor's commands cannot explain", describe(m));
    }
    if (m[0] == 0x01) return;
    inbox_.push_back({seq_++, m});
    if (inbox_.size() > INBOX_LIMIT) inbox_.pop_front();
}

void Conductor::pump(int ms) {
    const int64_t deadline = nowMs() + ms;
    if (nowMs() >= nextLifeCheckMs_ || ms == 0) {
        nextLifeCheckMs_ = nowMs() + LIFE_CHECK_MS;
        report_.count("replies checked", repliesChecked_);
        repliesChecked_ = 0;
        if (!serverGone_ && !server_.running()) {
            report_.fail("the server keeps running", "it has exited (see server.log)");
            serverGone_ = true;
        }
    }
    if (serverGone_) {
        // Nothing more can be learnt from this run: every wait ends at once.
        hardDeadlineMs_ = nowMs();
        return;
    }
    do {
        if (!peer_.connected()) {
            report_.violation("conductor connection stays up", "the server closed it");
            if (!peer_.connect(8888, 3000)) return;
        }
        pollfd p{peer_.fd(), POLLIN, 0};
        const int wait = static_cast<int>(std::max<int64_t>(0, deadline - nowMs()));
        if (::poll(&p, 1, wait) > 0) peer_.pump();
        while (std::optional<WsMessage> message = peer_.next()) {
            if (message->opcode != 8) onMessage(*message);
        }
    } while (nowMs() < deadline);
}

std::optional<Bytes> Conductor::take(uint64_t since, const Match& match) {
    for (auto it = inbox_.begin(); it != inbox_.end(); ++it) {
        if (it->seq < since || !match(it->bytes)) continue;
        Bytes found = std::move(it->bytes);
        inbox_.erase(it);
        return found;
    }
    return std::nullopt;
}

std::optional<Bytes> Conductor::expect(uint64_t since, const Match& match, int timeoutMs,
                                       const std::string& checkName, const std::string& what) {
    const int64_t deadline = std::min(nowMs() + timeoutMs, hardDeadlineMs_);
    for (;;) {
        if (std::optional<Bytes> found = take(since, match)) return found;
        if (nowMs() >= deadline) break;
        pump(static_cast<int>(std::min<int64_t>(50, deadline - nowMs())));
    }
    report_.fail(checkName, "no " + what + " within " + std::to_string(timeoutMs) + " ms");
    return std::nullopt;
}

bool Conductor::expectExact(uint64_t since, const Bytes& bytes, int timeoutMs, const std::string& checkName) {
    const bool found =
        expect(since, [&](const Bytes& m) { return m == bytes; }, timeoutMs, checkName, describe(bytes)).has_value();
    if (found) report_.pass(checkName);
    return found;
}

void Conductor::sync() {
    const uint64_t since = mark();
    allow(0x04, 0xFF, SYNC_TIMEOUT_MS);
    send({0x04, 0x00});
    expect(since, is({0x04, 0xFF}), SYNC_TIMEOUT_MS,
           "the server takes the conductor's commands in turn", "[04 ff]");
}

bool Conductor::quiet(uint64_t since, const Match& match, int ms, const std::string& checkName,
                      const std::string& what) {
    sync();  // the commands before have been taken: silence from now on means something
    pump(static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(ms, hardDeadlineMs_ - nowMs()))));
    for (const Stored& s : inbox_) {
        if (s.seq >= since && match(s.bytes)) {
            report_.fail(checkName, "unexpected " + describe(s.bytes) + " (" + what + ")");
            return false;
        }
    }
    report_.pass(checkName);
    return true;
}

void Conductor::expectRecordRefusal(const Bytes& command, const std::string& checkName) {
    ++refusalsExpected_;
    const uint64_t since = mark();
    send(command);
    if (!expectExact(since, {0x06, 0xFF}, 10000, checkName)) refusalsExpected_ = std::max(0, refusalsExpected_ - 1);
}

std::string Conductor::control(const std::string& line, const std::string& fault) {
    if (!fault.empty()) sync();
    std::string answer = control_.command(line);
    if (answer.empty() && control_.connect()) answer = control_.command(line);
    if (!fault.empty() && answer == "ok") report_.count("fault: " + fault);
    return answer;
}

bool Conductor::controlOk(const std::string& line, const std::string& fault) {
    const std::string answer = control(line, fault);
    report_.check(answer == "ok", "control endpoint takes the conductor's orders", "'" + line + "': '" + answer + "'");
    return answer == "ok";
}
