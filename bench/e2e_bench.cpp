// End-to-end figures of the real server binary on its virtual armband, side by
// side with a minimal Node.js peer on the npm package `ws` (bench/node-peer)
// that serves the same PING and preview traffic on the same port:
//
//   1. PING round trip with 1, 10 and 100 loopback clients: the clients ping
//      in turn; the reply goes to every client, and the next ping is sent once
//      all of them have it. Round trip = send to the pinging client's receipt;
//      fan-out = send to the last client's receipt.
//   2. Preview arrival jitter while recording (scan, connect, EMG_RAW_CONFIG
//      8 channels, RECORD_START): every inter-arrival time at every client,
//      minus the armband's packet period 16/650 s; and the skew of one preview
//      across the clients (last minus first receipt).
//   3. WebSocket handshake: connection opened to the 101 answer read, one
//      new client after another.
//   4. PING round trip while another client downloads a 10 MB recording as
//      CSV as fast as it can (emgbridge only).
//   5. Gesture-to-result latency (emgbridge only): a model is generated from
//      recordings of the virtual subject written into the work directory, then
//      identification runs while the control endpoint makes the subject hold
//      gestures; latency = `gesture N` sent to the first [0x08, N].
//
// Both servers listen on free ports, one after the other; --default-ports runs
// a build without --control-port on 8888 and 8889 (EMGBRIDGE_BINARY names the
// binary). All traffic stays on 127.0.0.1 and every wait is bounded. Run it from a Release build; see docs/performance.md.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <atomic>
#include <sys/socket.h>
#include <string>
#include <vector>

#include "bench/loopback_client.h"
#include "core/data_files.h"
#include "core/emg_geometry.h"
#include "sim/virtual_subject.h"
#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

namespace {

constexpr int HANDSHAKES = 200;
constexpr size_t DOWNLOAD_BYTES = 10 * 1000 * 1000;  // 8-channel frames
constexpr int64_t MS = 1000000;                      // nanoseconds
// The armband's packet period, 24.615 ms.
constexpr double PACKET_PERIOD_MS = 1000.0 * EMG_FRAMES_PER_PACKET / EMG_FRAMES_PER_SECOND;

// ---- Options ---------------------------------------------------------------

struct Options {
    std::vector<int> clientCounts{1, 10, 100};
    int minPings = 2000;      // pings per client count, at least
    int minRounds = 20;       // every client pings at least this often
    int previewSeconds = 10;  // per client count (a recording lasts 30 s)
    int holds = 16;
    int gestures = 8;
    bool runEmgbridge = true;
    bool runNode = true;
    bool runIdentify = true;
    bool runPing = true;
    bool runPreview = true;
    int idleSeconds = 2;  // server CPU measured while connected and idle
    bool defaultPorts = false;
    std::string nodePeerDir = NODE_PEER_DIR;
};

void usage() {
    std::printf(
        "usage: e2e_bench [--clients 1,10,100] [--pings N] [--preview-seconds S] [--holds N]\n"
        "                 [--gestures G] [--node-peer DIR] [--no-node] [--no-emgbridge]\n"
        "                 [--no-identify] [--no-ping] [--no-preview] [--idle-seconds S] [--quick]\n"
        "                 [--default-ports]\n");
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--clients") {
            o.clientCounts.clear();
            std::string list = value();
            for (size_t at = 0; at < list.size();) {
                const size_t comma = list.find(',', at);
                const int n = std::atoi(list.substr(at, comma - at).c_str());
                if (n < 1 || n > 1000) return false;
                o.clientCounts.push_back(n);
                at = comma == std::string::npos ? list.size() : comma + 1;
            }
            std::sort(o.clientCounts.begin(), o.clientCounts.end());
        } else if (a == "--pings") {
            o.minPings = std::max(1, std::atoi(value().c_str()));
        } else if (a == "--preview-seconds") {
            o.previewSeconds = std::clamp(std::atoi(value().c_str()), 1, 25);
        } else if (a == "--holds") {
            o.holds = std::clamp(std::atoi(value().c_str()), 1, 200);
        } else if (a == "--gestures") {
            o.gestures = std::clamp(std::atoi(value().c_str()), 2, 8);
        } else if (a == "--node-peer") {
            o.nodePeerDir = value();
        } else if (a == "--no-node") {
            o.runNode = false;
        } else if (a == "--no-emgbridge") {
            o.runEmgbridge = false;
        } else if (a == "--no-identify") {
            o.runIdentify = false;
        } else if (a == "--no-ping") {
            o.runPing = false;
        } else if (a == "--no-preview") {
            o.runPreview = false;
        } else if (a == "--idle-seconds") {
            o.idleSeconds = std::clamp(std::atoi(value().c_str()), 0, 600);
        } else if (a == "--default-ports") {
            o.defaultPorts = true;
        } else if (a == "--quick") {
            o.minPings = 300;
            o.minRounds = 5;
            o.previewSeconds = 3;
            o.holds = 4;
        } else {
            return false;
        }
    }
    return !o.clientCounts.empty();
}

// ---- Statistics ------------------------------------------------------------

struct Stats {
    size_t count = 0;
    double mean = 0, p50 = 0, p90 = 0, p99 = 0, min = 0, max = 0;
};

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    // Nearest rank.
    const size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

Stats statsOf(std::vector<double> values) {
    Stats s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) sum += v;
    s.mean = sum / static_cast<double>(values.size());
    s.p50 = percentile(values, 50);
    s.p90 = percentile(values, 90);
    s.p99 = percentile(values, 99);
    s.min = values.front();
    s.max = values.back();
    return s;
}

// CPU time of a process so far, in seconds: the run time of all its threads
// from /proc/PID/task/*/schedstat (nanoseconds), or user + system time from
// /proc/PID/stat (clock ticks) where schedstat is missing.
double cpuSeconds(pid_t pid) {
    const std::string base = "/proc/" + std::to_string(pid);
    if (DIR* tasks = opendir((base + "/task").c_str())) {
        double total = 0;
        bool any = false;
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            std::ifstream in(base + "/task/" + entry->d_name + "/schedstat");
            unsigned long long ns = 0;
            if (in >> ns) {
                total += static_cast<double>(ns) / 1e9;
                any = true;
            }
        }
        closedir(tasks);
        if (any) return total;
    }
    const std::string stat = readFile(base + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    // Fields after the command: state(3) ... utime(14) stime(15).
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < stat.size() && fields.size() < 13) {
        const size_t space = stat.find(' ', at);
        fields.push_back(stat.substr(at, space - at));
        if (space == std::string::npos) break;
        at = space + 1;
    }
    if (fields.size() < 13) return 0;
    const double ticks = std::atof(fields[11].c_str()) + std::atof(fields[12].c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// ---- The servers under test --------------------------------------------------

class Target {
public:
    virtual ~Target() = default;
    virtual const char* name() const = 0;
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual pid_t pid() const = 0;
    virtual int port() const = 0;
    // Seconds the first client waits for the armband's connection.
    virtual int connectTimeoutMs() const = 0;
};

class EmgbridgeTarget : public Target {
public:
    explicit EmgbridgeTarget(bool defaultPorts) : defaultPorts_(defaultPorts) {}
    const char* name() const override { return "emgbridge"; }
    bool start() override {
        server_ = std::make_unique<ServerProcess>(makeTempDir("emg-e2e-bench"));
        if (defaultPorts_) server_->useDefaultPorts();
        if (!server_->start(true, 10000)) return false;
        return control_.connect(server_->controlPort(), 3000) && control_.command("ping") == "ok";
    }
    int port() const override { return server_->port(); }
    void stop() override {
        control_.close();
        if (server_) {
            const std::string dir = server_->workDir();
            server_->stop(5000);
            server_.reset();
            std::error_code error;
            std::filesystem::remove_all(dir, error);
        }
    }
    pid_t pid() const override { return server_ ? server_->pid() : -1; }
    int connectTimeoutMs() const override { return 8000; }

    ServerProcess& server() { return *server_; }
    ControlClient& control() { return control_; }

private:
    bool defaultPorts_;
    std::unique_ptr<ServerProcess> server_;
    ControlClient control_;
};

class NodeTarget : public Target {
public:
    explicit NodeTarget(std::string dir) : dir_(std::move(dir)) {}
    ~NodeTarget() override { stop(); }
    const char* name() const override { return "node-ws"; }
    bool start() override {
        logPath_ = makeTempDir("emg-node-peer") + "/peer.log";
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(126);
            FILE* log = std::fopen(logPath_.c_str(), "w");
            if (log) {
                dup2(fileno(log), 1);
                dup2(fileno(log), 2);
            }
            execlp("node", "node", "server.js", std::to_string(port_).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const int64_t deadline = nowMs() + 10000;
        while (nowMs() < deadline) {
            if (readFile(logPath_).find("node peer listening") != std::string::npos) return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            usleep(20000);
        }
        std::fprintf(stderr, "node peer did not start:\n%s\n", readFile(logPath_).c_str());
        return false;
    }
    void stop() override {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            const int64_t deadline = nowMs() + 5000;
            while (waitpid(pid_, &status, WNOHANG) == 0) {
                if (nowMs() > deadline) {
                    kill(pid_, SIGKILL);
                    waitpid(pid_, &status, 0);
                    break;
                }
                usleep(10000);
            }
            pid_ = -1;
        }
        if (!logPath_.empty()) {
            const std::string dir = logPath_.substr(0, logPath_.rfind('/'));
            std::remove(logPath_.c_str());
            rmdir(dir.c_str());
            logPath_.clear();
        }
    }
    pid_t pid() const override { return pid_; }
    int port() const override { return port_; }
    int connectTimeoutMs() const override { return 3000; }

private:
    std::string dir_;
    int port_ = pickFreePort();
    std::string logPath_;
    pid_t pid_ = -1;
};

// ---- Clients -----------------------------------------------------------------

class Clients {
public:
    explicit Clients(int port) : port_(port) {}
    bool grow(size_t count) {
        while (owned_.size() < count) {
            auto client = std::make_unique<LoopbackClient>();
            if (!client->connect(port_, 3000)) return false;
            list_.push_back(client.get());
            owned_.push_back(std::move(client));
        }
        return true;
    }
    void shrink(size_t count) {
        while (owned_.size() > count) {
            owned_.back()->close();
            owned_.pop_back();
            list_.pop_back();
        }
    }
    void closeAll() { shrink(0); }
    size_t size() const { return list_.size(); }
    LoopbackClient& operator[](size_t i) { return *list_[i]; }
    const std::vector<LoopbackClient*>& list() const { return list_; }

    // Reads everything that arrives within the time and drops it.
    void drain(int ms) {
        pollClients(
            list_, monotonicNs() + ms * MS, [](size_t, const uint8_t*, size_t, int64_t) {}, [] { return false; });
    }

    // Waits until client 0 receives `expected`; the others' messages are dropped.
    bool request(std::initializer_list<uint8_t> command, std::initializer_list<uint8_t> expected, int timeoutMs) {
        if (!list_[0]->send(command)) return false;
        const std::vector<uint8_t> want(expected);
        bool seen = false;
        pollClients(
            list_, monotonicNs() + timeoutMs * MS,
            [&](size_t client, const uint8_t* payload, size_t length, int64_t) {
                if (client == 0 && std::vector<uint8_t>(payload, payload + length) == want) seen = true;
            },
            [&] { return seen; });
        return seen;
    }

private:
    int port_;
    std::vector<std::unique_ptr<LoopbackClient>> owned_;
    std::vector<LoopbackClient*> list_;
};

// ---- Phases ------------------------------------------------------------------

struct PingResult {
    Stats roundTripMs;
    Stats fanOutMs;
    double serverCpuUsPerPing = 0;
    bool ok = false;
};

PingResult measurePing(Clients& clients, const Options& o, pid_t server) {
    PingResult result;
    const size_t n = clients.size();
    const int rounds = std::max(o.minRounds, static_cast<int>((o.minPings + n - 1) / n));
    std::vector<double> roundTrips;
    std::vector<double> fanOuts;
    roundTrips.reserve(static_cast<size_t>(rounds) * n);
    fanOuts.reserve(static_cast<size_t>(rounds) * n);
    std::vector<char> got(n);
    const double cpuBefore = cpuSeconds(server);
    for (int r = 0; r < rounds; ++r) {
        for (size_t pinger = 0; pinger < n; ++pinger) {
            std::fill(got.begin(), got.end(), 0);
            size_t complete = 0;
            int64_t mine = 0;
            int64_t last = 0;
            const int64_t sent = monotonicNs();
            if (!clients[pinger].send({0x01})) return result;
            const bool ok = pollClients(
                clients.list(), sent + 5000 * MS,
                [&](size_t client, const uint8_t* payload, size_t length, int64_t arrival) {
                    if (length != 2 || payload[0] != 0x01 || payload[1] != 0x00 || got[client]) return;
                    got[client] = 1;
                    ++complete;
                    if (client == pinger) mine = arrival;
                    last = std::max(last, arrival);
                },
                [&] { return complete == n; });
            if (!ok) {
                std::fprintf(stderr, "a PING reply did not arrive (round %d, client %zu)\n", r, pinger);
                return result;
            }
            roundTrips.push_back(static_cast<double>(mine - sent) / MS);
            fanOuts.push_back(static_cast<double>(last - sent) / MS);
        }
    }
    const double cpu = cpuSeconds(server) - cpuBefore;
    result.roundTripMs = statsOf(roundTrips);
    result.fanOutMs = statsOf(fanOuts);
    result.serverCpuUsPerPing = cpu * 1e6 / static_cast<double>(roundTrips.size());
    result.ok = true;
    return result;
}

struct PreviewResult {
    Stats deviationMs;  // |inter-arrival - 16/650 s|, all clients
    Stats signedDevMs;  // inter-arrival - 16/650 s
    Stats skewMs;       // per preview: last client's receipt - first client's
    double ratePerSecond = 0;
    double serverCpuPercent = 0;
    size_t previews = 0;  // per client, the fewest
    bool ok = false;
};

PreviewResult measurePreviews(Clients& clients, const Options& o, pid_t server) {
    PreviewResult result;
    const size_t n = clients.size();
    std::vector<std::vector<int64_t>> arrivals(n);
    for (auto& a : arrivals) a.reserve(static_cast<size_t>(o.previewSeconds) * 50 + 16);
    const double cpuBefore = cpuSeconds(server);
    const int64_t start = monotonicNs();
    if (!clients[0].send({0x06, 0x01})) return result;
    const int64_t end = start + int64_t{o.previewSeconds} * 1000 * MS;
    pollClients(
        clients.list(), end,
        [&](size_t client, const uint8_t* payload, size_t length, int64_t arrival) {
            if (length == 33 && payload[0] == 0x07) arrivals[client].push_back(arrival);
        },
        [] { return false; });
    const double cpu = cpuSeconds(server) - cpuBefore;
    const int64_t stopped = monotonicNs();
    if (!clients.request({0x07}, {0x06, 0xFD}, 5000)) {
        std::fprintf(stderr, "RECORD_STOP was not acknowledged\n");
        return result;
    }
    clients.drain(300);

    std::vector<double> deviations;
    std::vector<double> signedDeviations;
    size_t fewest = SIZE_MAX;
    for (const auto& a : arrivals) {
        fewest = std::min(fewest, a.size());
        for (size_t k = 1; k < a.size(); ++k) {
            const double d = static_cast<double>(a[k] - a[k - 1]) / MS - PACKET_PERIOD_MS;
            deviations.push_back(std::fabs(d));
            signedDeviations.push_back(d);
        }
    }
    std::vector<double> skews;
    if (n > 1) {
        for (size_t k = 0; k < fewest; ++k) {
            int64_t first = INT64_MAX;
            int64_t last = INT64_MIN;
            for (const auto& a : arrivals) {
                first = std::min(first, a[k]);
                last = std::max(last, a[k]);
            }
            skews.push_back(static_cast<double>(last - first) / MS);
        }
    }
    if (fewest < 3) {
        std::fprintf(stderr, "too few previews arrived (%zu)\n", fewest);
        return result;
    }
    const auto& a0 = arrivals[0];
    result.ratePerSecond = static_cast<double>(a0.size() - 1) / (static_cast<double>(a0.back() - a0.front()) / 1e9);
    result.deviationMs = statsOf(deviations);
    result.signedDevMs = statsOf(signedDeviations);
    result.skewMs = statsOf(skews);
    result.serverCpuPercent = 100.0 * cpu / (static_cast<double>(stopped - start) / 1e9);
    result.previews = fewest;
    result.ok = true;
    return result;
}

struct IdentifyResult {
    Stats latencyMs;
    int holds = 0;
    int named = 0;         // holds whose gesture was named within the time
    int firstCorrect = 0;  // holds whose first gesture answer was the held one
    double generateSeconds = 0;
    bool ok = false;
};

// 30 s as a user records a gesture: 3 s held, 2 s at rest, in turn.
std::string recordingOf(kv::sim::VirtualSubject& subject, int gesture) {
    constexpr int FRAME_RATE = EMG_FRAMES_PER_SECOND;
    std::string bytes(30 * FRAME_RATE * 8, '\0');
    for (int f = 0; f < 30 * FRAME_RATE; ++f) {
        subject.setGesture((f % (5 * FRAME_RATE)) < 3 * FRAME_RATE ? gesture : 0);
        subject.nextFrame(0xFF, reinterpret_cast<uint8_t*>(&bytes[static_cast<size_t>(f) * 8]));
    }
    return bytes;
}

IdentifyResult measureIdentification(Clients& clients, EmgbridgeTarget& target, const Options& o) {
    IdentifyResult result;
    const int g = o.gestures;
    const uint8_t mask = static_cast<uint8_t>((1u << g) - 1);
    kv::sim::VirtualSubject subject(2024);
    for (int gesture = 1; gesture <= g; ++gesture) {
        std::ofstream(target.server().path(rawFileName(static_cast<unsigned>(gesture))), std::ios::binary)
            << recordingOf(subject, gesture);
    }
    if (!clients.request({0x05, 0xFF, mask}, {0x05, 0x00}, 5000)) {
        std::fprintf(stderr, "EMG_RAW_CONFIG for identification failed\n");
        return result;
    }
    const int64_t generateStart = monotonicNs();
    if (!clients.request({0x0A}, {0x0A, 0x00}, 180000)) {
        std::fprintf(stderr, "MODEL_GENERATE failed\n");
        return result;
    }
    result.generateSeconds = static_cast<double>(monotonicNs() - generateStart) / 1e9;

    ControlClient& control = target.control();
    if (control.command("gesture 0") != "ok") return result;
    if (!clients[0].send({0x08})) return result;

    int current = 0xFF;  // the last result reported
    auto follow = [&](int ms, int wanted, int64_t since, int64_t* namedAt, int* firstAnswer) {
        pollClients(
            clients.list(), monotonicNs() + ms * MS,
            [&](size_t client, const uint8_t* payload, size_t length, int64_t arrival) {
                if (client != 0 || length != 2 || payload[0] != 0x08) return;
                current = payload[1];
                if (firstAnswer && *firstAnswer < 0 && current != 0xFF && arrival >= since) *firstAnswer = current;
                if (namedAt && *namedAt == 0 && current == wanted && arrival >= since) *namedAt = arrival;
            },
            [&] { return namedAt && *namedAt != 0; });
    };
    follow(2000, -1, 0, nullptr, nullptr);

    std::vector<double> latencies;
    for (int h = 0; h < o.holds; ++h) {
        const int gesture = 1 + h % g;
        if (control.command("gesture 0") != "ok") return result;
        follow(2500, -1, 0, nullptr, nullptr);  // rest; the identifier returns to idle
        int64_t namedAt = 0;
        int firstAnswer = -1;
        const int64_t sent = monotonicNs();
        if (control.command("gesture " + std::to_string(gesture)) != "ok") return result;
        follow(4000, gesture, sent, &namedAt, &firstAnswer);
        ++result.holds;
        if (namedAt != 0) {
            ++result.named;
            latencies.push_back(static_cast<double>(namedAt - sent) / MS);
            follow(1000, -1, 0, nullptr, &firstAnswer);  // hold a little longer
        }
        if (firstAnswer == gesture) ++result.firstCorrect;
    }
    control.command("gesture 0");
    if (!clients.request({0x09}, {0x08, 0xFD}, 5000)) {
        std::fprintf(stderr, "IDENTIFY_STOP was not acknowledged\n");
        return result;
    }
    clients.drain(300);
    result.latencyMs = statsOf(latencies);
    result.ok = true;
    return result;
}

// New clients one after another: TCP connection opened to the 101 answer read.
Stats measureHandshakes(int port) {
    std::vector<double> times;
    for (int i = 0; i < HANDSHAKES; ++i) {
        LoopbackClient client;
        const int64_t start = monotonicNs();
        if (!client.connect(port, 3000)) break;
        times.push_back(static_cast<double>(monotonicNs() - start) / MS);
    }
    return statsOf(times);
}

struct DownloadResult {
    Stats pingMs;
    double seconds = 0;
    size_t bytes = 0;
    bool ok = false;
};

// Reads GET /api/recordings/1.csv as fast as it arrives; the bytes read.
size_t downloadCsv(int port) {
    const int fd = connectLoopback(port, 3000);
    if (fd < 0) return 0;
    const std::string request = "GET /api/recordings/1.csv?channels=8 HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    size_t total = 0;
    if (sendAll(fd, reinterpret_cast<const uint8_t*>(request.data()), request.size())) {
        std::vector<char> buffer(1 << 16);
        while (waitReadable(fd, 10000)) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            total += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    return total;
}

// PING round trips of client 0 while another connection downloads a 10 MB
// recording as CSV (emgbridge only: the Node peer serves no files).
DownloadResult measurePingDuringDownload(Clients& clients, EmgbridgeTarget& target) {
    DownloadResult result;
    {
        std::ofstream raw(target.server().path(rawFileName(1)), std::ios::binary);
        std::vector<char> frames(DOWNLOAD_BYTES);
        for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<char>((i * 7919) >> 3);
        raw.write(frames.data(), static_cast<std::streamsize>(frames.size()));
    }
    std::atomic<bool> done{false};
    const int64_t start = monotonicNs();
    std::thread downloader([&] {
        result.bytes = downloadCsv(target.port());
        result.seconds = static_cast<double>(monotonicNs() - start) / 1e9;
        done = true;
    });
    std::vector<double> roundTrips;
    while (!done) {
        const int64_t sent = monotonicNs();
        int64_t arrived = 0;
        if (!clients[0].send({0x01})) break;
        const bool answered = pollClients(
            {&clients[0]}, sent + 5000 * MS,
            [&](size_t, const uint8_t* payload, size_t length, int64_t arrival) {
                if (length == 2 && payload[0] == 0x01) arrived = arrival;
            },
            [&] { return arrived != 0; });
        if (!answered) break;
        roundTrips.push_back(static_cast<double>(arrived - sent) / MS);
    }
    downloader.join();
    result.pingMs = statsOf(roundTrips);
    result.ok = result.bytes > DOWNLOAD_BYTES && !roundTrips.empty();
    return result;
}

// ---- One target --------------------------------------------------------------

struct RunResult {
    bool ok = false;
    std::map<int, PingResult> ping;
    std::map<int, PreviewResult> preview;
    std::map<int, double> idleCpuPercent;
    Stats handshakeMs;
    std::optional<IdentifyResult> identify;
};

RunResult runTarget(Target& target, const Options& o, bool identify) {
    RunResult run;
    std::printf("\n=== %s ===\n", target.name());
    std::fflush(stdout);
    if (!target.start()) {
        std::fprintf(stderr, "%s did not start\n", target.name());
        target.stop();
        return run;
    }
    run.handshakeMs = measureHandshakes(target.port());
    std::printf("-- WebSocket handshake ms: p50 %.3f  p99 %.3f  max %.3f  (%zu new clients)\n", run.handshakeMs.p50,
                run.handshakeMs.p99, run.handshakeMs.max, run.handshakeMs.count);
    Clients clients(target.port());
    bool ok = clients.grow(1) && clients.request({0x02, 0x00}, {0x02, 0x00}, 5000) &&
              clients.request({0x03}, {0x03, 0x00}, target.connectTimeoutMs()) &&
              clients.request({0x05, 0xFF, 0xFF}, {0x05, 0x00}, 5000);
    if (!ok) std::fprintf(stderr, "%s: scan, connect or EMG_RAW_CONFIG failed\n", target.name());
    for (int n : o.clientCounts) {
        if (!ok) break;
        if (!clients.grow(static_cast<size_t>(n))) {
            std::fprintf(stderr, "%s: could not connect %d clients\n", target.name(), n);
            ok = false;
            break;
        }
        clients.drain(300);
        std::printf("-- %d client%s\n", n, n == 1 ? "" : "s");
        if (o.idleSeconds > 0) {
            const double before = cpuSeconds(target.pid());
            const int64_t start = monotonicNs();
            clients.drain(o.idleSeconds * 1000);
            const double seconds = static_cast<double>(monotonicNs() - start) / 1e9;
            run.idleCpuPercent[n] = 100.0 * (cpuSeconds(target.pid()) - before) / seconds;
            std::printf("   server CPU while idle: %.2f %%\n", run.idleCpuPercent[n]);
        }
        if (o.runPing) {
            const PingResult ping = measurePing(clients, o, target.pid());
            if (!ping.ok) {
                ok = false;
                break;
            }
            std::printf(
                "   PING round trip   ms: p50 %.3f  p99 %.3f  max %.3f  (%zu pings; fan-out to all: p50 %.3f "
                "p99 %.3f; server CPU %.1f us/ping)\n",
                ping.roundTripMs.p50, ping.roundTripMs.p99, ping.roundTripMs.max, ping.roundTripMs.count,
                ping.fanOutMs.p50, ping.fanOutMs.p99, ping.serverCpuUsPerPing);
            run.ping[n] = ping;
        }
        if (o.runPreview) {
            const PreviewResult preview = measurePreviews(clients, o, target.pid());
            if (!preview.ok) {
                ok = false;
                break;
            }
            std::printf(
                "   preview |jitter|  ms: p50 %.3f  p90 %.3f  p99 %.3f  max %.3f  (%zu intervals, %.2f/s, "
                "signed mean %+.4f)\n",
                preview.deviationMs.p50, preview.deviationMs.p90, preview.deviationMs.p99, preview.deviationMs.max,
                preview.deviationMs.count, preview.ratePerSecond, preview.signedDevMs.mean);
            if (n > 1)
                std::printf("   preview skew      ms: p50 %.3f  p99 %.3f  max %.3f\n", preview.skewMs.p50,
                            preview.skewMs.p99, preview.skewMs.max);
            std::printf("   server CPU while streaming: %.1f %%\n", preview.serverCpuPercent);
            run.preview[n] = preview;
        }
        std::fflush(stdout);
    }
    if (ok && identify) {
        clients.shrink(1);
        clients.drain(300);
        const DownloadResult download = measurePingDuringDownload(clients, static_cast<EmgbridgeTarget&>(target));
        std::printf(
            "-- PING during a 10 MB CSV download ms: p50 %.3f  p99 %.3f  max %.3f  (%zu pings; %.1f MB of CSV in "
            "%.2f s)\n",
            download.pingMs.p50, download.pingMs.p99, download.pingMs.max, download.pingMs.count,
            static_cast<double>(download.bytes) / 1e6, download.seconds);
        ok = download.ok;
        clients.drain(300);
        std::printf("-- identification (%d gestures, %d holds)\n", o.gestures, o.holds);
        std::fflush(stdout);
        const IdentifyResult id = measureIdentification(clients, static_cast<EmgbridgeTarget&>(target), o);
        if (id.ok) {
            std::printf("   MODEL_GENERATE %.2f s\n", id.generateSeconds);
            std::printf(
                "   gesture-to-result ms: p50 %.1f  p90 %.1f  min %.1f  max %.1f  (named in %d of %d holds; "
                "first answer right in %d)\n",
                id.latencyMs.p50, id.latencyMs.p90, id.latencyMs.min, id.latencyMs.max, id.named, id.holds,
                id.firstCorrect);
            run.identify = id;
        } else {
            ok = false;
        }
    }
    clients.closeAll();
    target.stop();
    run.ok = ok;
    return run;
}

void printComparison(const RunResult& mine, const RunResult& node, const Options& o) {
    std::printf("\n=== emgbridge / node-ws (ratio > 1: emgbridge is slower or less regular) ===\n");
    std::printf("%-34s %12s %12s %8s\n", "figure", "emgbridge", "node-ws", "ratio");
    auto row = [](const std::string& name, double a, double b) {
        if (b > 0)
            std::printf("%-34s %12.3f %12.3f %8.2f\n", name.c_str(), a, b, a / b);
        else
            std::printf("%-34s %12.3f %12.3f %8s\n", name.c_str(), a, b, "n/a");
    };
    row("WebSocket handshake p50 ms", mine.handshakeMs.p50, node.handshakeMs.p50);
    row("WebSocket handshake p99 ms", mine.handshakeMs.p99, node.handshakeMs.p99);
    for (int n : o.clientCounts) {
        const std::string c = " (" + std::to_string(n) + ")";
        const auto mi = mine.idleCpuPercent.find(n);
        const auto ni = node.idleCpuPercent.find(n);
        if (mi != mine.idleCpuPercent.end() && ni != node.idleCpuPercent.end())
            row("server CPU % idle" + c, mi->second, ni->second);
        const auto mp = mine.ping.find(n);
        const auto np = node.ping.find(n);
        if (mp != mine.ping.end() && np != node.ping.end()) {
            row("PING round trip p50 ms" + c, mp->second.roundTripMs.p50, np->second.roundTripMs.p50);
            row("PING round trip p99 ms" + c, mp->second.roundTripMs.p99, np->second.roundTripMs.p99);
            row("PING fan-out p50 ms" + c, mp->second.fanOutMs.p50, np->second.fanOutMs.p50);
            row("server CPU us/ping" + c, mp->second.serverCpuUsPerPing, np->second.serverCpuUsPerPing);
        }
        const auto mv = mine.preview.find(n);
        const auto nv = node.preview.find(n);
        if (mv == mine.preview.end() || nv == node.preview.end()) continue;
        row("preview |jitter| p50 ms" + c, mv->second.deviationMs.p50, nv->second.deviationMs.p50);
        row("preview |jitter| p99 ms" + c, mv->second.deviationMs.p99, nv->second.deviationMs.p99);
        if (n > 1) row("preview skew p99 ms" + c, mv->second.skewMs.p99, nv->second.skewMs.p99);
        row("server CPU % streaming" + c, mv->second.serverCpuPercent, nv->second.serverCpuPercent);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) {
        usage();
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    std::printf("e2e_bench: clients");
    for (int n : o.clientCounts) std::printf(" %d", n);
    std::printf("; >= %d pings per count; %d s of previews per count; %d holds of %d gestures\n", o.minPings,
                o.previewSeconds, o.holds, o.gestures);
    std::printf("server binary: %s\n", serverBinary().c_str());

    RunResult mine;
    RunResult node;
    bool failed = false;
    if (o.runEmgbridge) {
        EmgbridgeTarget target(o.defaultPorts);
        mine = runTarget(target, o, o.runIdentify);
        failed |= !mine.ok;
    }
    if (o.runNode) {
        struct stat info {};
        if (stat((o.nodePeerDir + "/node_modules/ws").c_str(), &info) != 0) {
            std::fprintf(stderr, "\nnode peer skipped: %s/node_modules/ws is missing (run npm ci there)\n",
                         o.nodePeerDir.c_str());
            failed = true;
        } else {
            NodeTarget target(o.nodePeerDir);
            node = runTarget(target, o, false);
            failed |= !node.ok;
        }
    }
    if (o.runEmgbridge && o.runNode) printComparison(mine, node, o);
    std::fflush(stdout);
    return failed ? 1 : 0;
}
