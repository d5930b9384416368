// The conductor's messages, its plan, and the end of the run.
#include "soak/conductor.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace {

constexpr int REPLY_MS = 15000;        // silent armband calls can hold the main loop for seconds
constexpr int64_t OVERRUN_MS = 60000;  // how long the episodes may overrun the deadline
constexpr size_t INBOX_LIMIT = 20000;

double residentKb(pid_t pid) {
    double pages = 0, resident = 0;
    std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024;
}

// The background clients' commands draw these; the conductor never waits for them.
bool noise(const Bytes& m) {
    return m[0] == 0x30 || m == Bytes{0x08, 0xFF} || m == Bytes{0x0A, 0xFF} || m == Bytes{0x0A, 0xFD} ||
           (m[0] == 0x0C && (m[1] == 0xFF || m[1] == 0xFD || m[1] == 0xEF));
}

}  // namespace

bool Conductor::seed(unsigned gesture, const std::string& bytes) {
    std::ofstream(server_.path(rawFileName(gesture)), std::ios::binary) << bytes;
    known_[gesture] = bytes;
    return readFile(server_.path(rawFileName(gesture))) == bytes;
}

void Conductor::send(const Bytes& command) {
    report_.count("commands sent by the conductor");
    report_.check(ws_.send(command), "the conductor's connection stays up", "a send failed");
}

void Conductor::pump(int ms) {
    const int64_t deadline = std::min(nowMs() + ms, hardDeadlineMs_);
    do {
        if (nowMs() >= nextSampleMs_) {
            nextSampleMs_ = nowMs() + 1000;
            if (!server_.running()) {
                report_.check(false, "the server keeps running", "it has exited (see server.log)");
                hardDeadlineMs_ = 0;  // nothing more to learn: every wait ends at once
                return;
            }
            memoryKb_.push_back(residentKb(server_.pid()));
        }
        report_.check(ws_.connected(), "the conductor's connection stays up", "the server closed it");
        if (!ws_.connected() && !ws_.connect(wsPort, 3000)) return;
        const int wait = static_cast<int>(std::clamp<int64_t>(deadline - nowMs(), 0, 1000));
        if (const std::optional<WsMessage> message = ws_.receive(wait)) onMessage(*message);
    } while (nowMs() < deadline);
}

void Conductor::onMessage(const WsMessage& message) {
    report_.count("replies checked");
    const std::string violation = protocolViolation(message, versions_);
    report_.check(violation.empty(), "protocol of server messages", violation + " " + describe(message.payload));
    const Bytes& m = message.payload;
    if (!violation.empty()) return;
    if (m[0] == 0x01) return;  // the background clients' PINGs
    if (m[0] == 0x07) {
        if (recording_) previews_.push_back(m);
        return report_.check(recording_ || nowMs() < previewsUntilMs_, "previews come only while recording",
                             describe(m));
    }
    if (m[0] == 0x06 && m[1] != 0xFD) {  // only the conductor's commands draw these
        const bool refusal = refusalsExpected_ > 0, result = !refusal && recording_ && result_ < 0;
        report_.check(refusal || result, "record results come only for a recording", describe(m));
        refusalsExpected_ -= refusal;
        if (result) result_ = m[1], resultMs_ = nowMs();
        if (!refusal) return;
    }
    inbox_.emplace_back(seq_++, m);
    if (inbox_.size() > INBOX_LIMIT) inbox_.pop_front();
}

void Conductor::pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    for (const int64_t deadline = std::min(nowMs() + timeoutMs, hardDeadlineMs_); !done() && nowMs() < deadline;)
        pump(50);
}

// Removes and returns the first stored message since `since` that matches.
std::optional<Bytes> Conductor::take(uint64_t since, const Match& match) {
    const auto it =
        std::find_if(inbox_.begin(), inbox_.end(), [&](auto& m) { return m.first >= since && match(m.second); });
    if (it == inbox_.end()) return std::nullopt;
    Bytes found = std::move(it->second);
    inbox_.erase(it);
    return found;
}

bool Conductor::expect(uint64_t since, const Bytes& reply, const std::string& check) {
    bool found = false;
    pumpUntil([&] { return found = found || take(since, [&](const Bytes& m) { return m == reply; }); }, REPLY_MS);
    report_.check(found, check, "no " + describe(reply) + " within " + std::to_string(REPLY_MS) + " ms");
    return found;
}

bool Conductor::ask(const Bytes& command, const Bytes& reply, const std::string& check) {
    const uint64_t since = seq_;
    send(command);
    return expect(since, reply, check);
}

// [04 00], a wrong length only the conductor sends, is refused in turn: the commands before it were taken.
void Conductor::sync() {
    ask({0x04, 0x00}, {0x04, 0xFF}, "the server takes the conductor's commands in turn");
}

bool Conductor::play(std::initializer_list<Step> steps) {
    bool all = true;
    uint64_t since = seq_;
    for (const Step& s : steps) {
        if (*s.order) all &= order(s.order);
        const bool refusal = s.reply == Bytes{0x06, 0xFF};
        refusalsExpected_ += refusal;
        if (!s.command.empty()) {
            since = seq_;
            send(s.command);
        }
        if (!s.reply.empty() && !expect(since, s.reply, s.check)) {
            all = false;
            if (refusal) refusalsExpected_ = 0;
        }
        if (s.quietMs > 0) {  // once the commands before were taken, no other reply of that code
            const uint8_t code = (s.reply.empty() ? s.command : s.reply)[0];
            sync();
            pump(s.quietMs);
            const auto found = take(since, [code](const Bytes& m) {
                return (m[0] == code && !noise(m)) || (code == 0x0C && m[0] == 0x0D);  // nor progress
            });
            report_.check(!found, s.check, found ? "unexpected " + describe(*found) : "");
        }
    }
    return all;
}

std::string Conductor::control(const std::string& line) {
    std::string answer = control_.command(line);
    if (answer.empty() && control_.connect(controlPort)) answer = control_.command(line);
    return answer;
}

// A fault order acts at once, while commands can wait behind a blocked main loop: it goes
// out only after the server took the commands before it.
bool Conductor::order(const std::string& line) {
    sync();
    const std::string answer = control(line);
    report_.check(answer == "ok", "the control endpoint takes the conductor's orders",
                  "'" + line + "': '" + answer + "'");
    if (answer == "ok" && line != "present 1" && line != "no-config 0") countFault(report_, line);
    return answer == "ok";
}

void Conductor::run(int64_t deadlineMs) {
    hardDeadlineMs_ = deadlineMs + OVERRUN_MS;
    // Every fault once within the default 300 s; the short unfinished ones are followed by another recording.
    static const std::pair<unsigned, Variant> recordings[] = {
        {1, NORMAL},        {2, INTO_DIRECTORY}, {2, ABANDONED},    {3, FULL_DEVICE}, {3, LOST},
        {1, FAILED_SWITCH}, {2, IDENTIFY_STOP},  {3, MUTED_SWITCH}, {2, NORMAL}};
    // A recording, then three of the other episodes in turn, passing over those that do not fit.
    static const std::pair<int64_t, void (Conductor::*)()> others[] = {{14000, &Conductor::connectionFaults},
                                                                       {7000, &Conductor::modelFlow},
                                                                       {3000, &Conductor::gestureStream},
                                                                       {5000, &Conductor::dropAndReconnect}};
    const size_t kinds = std::size(others);
    for (size_t episode = 0, recorded = 0, skipped = 0; skipped < kinds && hardDeadlineMs_ > 0; ++episode) {
        const int64_t left = deadlineMs - nowMs();
        if (episode % 4 == 0 && left >= 35000) {
            const auto [gesture, variant] = recordings[recorded++ % std::size(recordings)];
            recording(gesture, variant);
            episode -= variant == ABANDONED || variant == LOST;
            continue;
        }
        for (skipped = 0; skipped < kinds && others[nextEpisode_ % kinds].first > left; ++skipped) ++nextEpisode_;
        if (skipped < kinds) (this->*others[nextEpisode_++ % kinds].second)();
    }
    pump(static_cast<int>(std::max<int64_t>(0, deadlineMs - nowMs())));
}

void Conductor::finish() {
    hardDeadlineMs_ = hardDeadlineMs_ > 0 ? nowMs() + OVERRUN_MS : 0;
    ask({0x09}, {0x08, 0xFD}, "IDENTIFY_STOP returns the server to idle");
    for (const char* op :
         {"scan", "connect", "disconnect", "emg-config", "notify", "package-id", "hw", "fw", "update"}) {
        control(std::string("fail ") + op + " 0");
        control(std::string("mute ") + op + " 0");  // refused for the operations that cannot be muted
    }
    for (const char* line : {"present 1", "no-config 0", "gesture 0"}) control(line);
    pump(1000);
    for (const auto& [gesture, bytes] : known_) checkFile(gesture, bytes, HOLD_KNOWN, "at the end");
}
