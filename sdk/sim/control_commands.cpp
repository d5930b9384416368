#include "sim/control_commands.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/files.h"

namespace kv::sim {
namespace {

constexpr size_t kMaxReplayBytes = 64u << 20;
constexpr size_t kMaxVersionLength = 250;

constexpr const char* kHelp =
    "ok commands: ping, status, present 0|1, gesture N, armband-gesture N, device-status N, "
    "hub-state N, drop [REASON], fail OP [COUNT [RESULT]], mute OP [COUNT], no-config 0|1, "
    "versions FW HW, replay PATH, seed N, help";

std::vector<std::string> splitWords(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::optional<long long> parseNumber(const std::string& text, long long min, long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < min || value > max) return std::nullopt;
    return value;
}

std::string usage(const char* syntax) {
    return std::string("error usage: ") + syntax;
}

bool isPlainWord(const std::string& word) {
    if (word.empty() || word.size() > kMaxVersionLength) return false;
    for (unsigned char c : word) {
        if (c < 0x21 || c > 0x7E) return false;
    }
    return true;
}

std::wstring widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

// The text after the command word, without surrounding blanks.
std::string restOfLine(const std::string& line) {
    const size_t start = line.find_first_not_of(" \t");
    const size_t afterWord = line.find_first_of(" \t", start);
    if (afterWord == std::string::npos) return {};
    const size_t first = line.find_first_not_of(" \t", afterWord);
    if (first == std::string::npos) return {};
    const size_t last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1);
}

// The name of `path` relative to the data folder (the working directory), or
// nothing when an absolute path lies outside it. Relative names are left to
// the open, which keeps `..` and symbolic links from leading out.
std::optional<std::string> nameInDataFolder(const std::string& path) {
    const std::filesystem::path given(path);
    if (given.is_relative()) return path;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    if (error) return std::nullopt;
    const std::filesystem::path relative = given.lexically_normal().lexically_relative(folder);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return relative.string();
}

// The bytes of a regular file inside the data folder, up to kMaxReplayBytes.
std::optional<std::vector<uint8_t>> readDataFile(const std::string& path) {
    const auto name = nameInDataFolder(path);
    std::FILE* file = nullptr;
    if (!name || !platform::openForReadingInside(*name, file)) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes.size() <= kMaxReplayBytes) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    const bool complete = !std::ferror(file) && bytes.size() <= kMaxReplayBytes;
    std::fclose(file);
    if (!complete) return std::nullopt;
    return bytes;
}

}  // namespace

std::string statusJson(const SimulationStatus& s) {
    std::ostringstream out;
    out << "{\"present\":" << (s.present ? "true" : "false") << ",\"scanning\":" << (s.scanning ? "true" : "false")
        << ",\"state\":" << s.state << ",\"notify\":" << s.notify
        << ",\"packageId\":" << (s.packageId ? "true" : "false")
        << ",\"channelMask\":" << static_cast<int>(s.channelMask) << ",\"dataLength\":" << s.dataLength
        << ",\"packets\":" << s.packets << ",\"gesture\":" << s.gesture
        << ",\"noConfig\":" << (s.noConfig ? "true" : "false") << ",\"firmware\":" << jsonString(narrow(s.firmware))
        << ",\"hardware\":" << jsonString(narrow(s.hardware)) << ",\"replayPending\":" << s.replayPending
        << ",\"modelImage\":\"" << hex(s.modelImage) << "\"}";
    return out.str();
}

std::string ControlCommands::execute(const std::string& line) {
    const std::vector<std::string> words = splitWords(line);
    if (words.empty()) return "error empty command";
    const std::string& command = words[0];
    const size_t args = words.size() - 1;
    constexpr long long kIntMin = std::numeric_limits<int>::min();
    constexpr long long kIntMax = std::numeric_limits<int>::max();

    auto argument = [&](size_t index, long long min, long long max) { return parseNumber(words[index], min, max); };

    if (command == "ping") {
        return args == 0 ? "ok" : usage("ping");
    }
    if (command == "help") {
        return args == 0 ? kHelp : usage("help");
    }
    if (command == "status") {
        return args == 0 ? "ok " + statusJson(simulation_.status()) : usage("status");
    }
    if (command == "present" || command == "no-config") {
        const auto flag = args == 1 ? argument(1, 0, 1) : std::nullopt;
        if (!flag) return usage(command == "present" ? "present 0|1" : "no-config 0|1");
        if (command == "present") {
            simulation_.setPresent(*flag == 1);
        } else {
            simulation_.setNoConfig(*flag == 1);
        }
        return "ok";
    }
    if (command == "gesture") {
        const auto gesture = args == 1 ? argument(1, 0, VirtualSubject::GESTURE_COUNT) : std::nullopt;
        if (!gesture) return usage("gesture N (N = 0..8, 0 is rest)");
        simulation_.holdGesture(static_cast<int>(*gesture));
        return "ok";
    }
    if (command == "armband-gesture") {
        const auto gesture = args == 1 ? argument(1, 0, 255) : std::nullopt;
        if (!gesture) return usage("armband-gesture N (N = 0..255)");
        if (!simulation_.reportArmbandGesture(static_cast<uint8_t>(*gesture))) {
            return "error gesture notifications are off";
        }
        return "ok";
    }
    if (command == "device-status") {
        const auto status = args == 1 ? argument(1, 0, 255) : std::nullopt;
        if (!status) return usage("device-status N (N = 0..255)");
        simulation_.reportDeviceStatus(static_cast<uint8_t>(*status));
        return "ok";
    }
    if (command == "hub-state") {
        const auto state = args == 1 ? argument(1, kIntMin, kIntMax) : std::nullopt;
        if (!state) return usage("hub-state N (N an integer)");
        simulation_.reportHubState(static_cast<int>(*state));
        return "ok";
    }
    if (command == "drop") {
        const auto reason = args == 0 ? std::optional<long long>(0) : args == 1 ? argument(1, 0, 255) : std::nullopt;
        if (!reason) return usage("drop [REASON] (REASON = 0..255)");
        if (!simulation_.dropArmband(static_cast<uint8_t>(*reason))) {
            return "error the armband is not connected";
        }
        return "ok";
    }
    if (command == "fail") {
        const std::optional<Operation> operation = operationNamed(args >= 1 ? words[1] : std::string());
        const auto count = args >= 2 ? argument(2, 0, 1000000) : std::optional<long long>(1);
        const auto result = args >= 3 ? argument(3, kIntMin, kIntMax) : std::optional<long long>(1);
        if (!operation || args > 3 || !count || !result || *result == 0) {
            return usage(
                "fail OP [COUNT [RESULT]] (OP = scan, connect, disconnect, emg-config, notify, "
                "package-id, hw, fw, update; COUNT = 0..1000000; RESULT a non-zero integer)");
        }
        simulation_.orderFailure(*operation, static_cast<uint32_t>(*count), static_cast<int>(*result));
        return "ok";
    }
    if (command == "mute") {
        const std::optional<Operation> operation = operationNamed(args >= 1 ? words[1] : std::string());
        const auto count = args >= 2 ? argument(2, 0, 1000000) : std::optional<long long>(1);
        if (!operation || !canMute(*operation) || args > 2 || !count) {
            return usage("mute OP [COUNT] (OP = emg-config, notify, hw, fw, update; COUNT = 0..1000000)");
        }
        simulation_.orderSilence(*operation, static_cast<uint32_t>(*count));
        return "ok";
    }
    if (command == "versions") {
        if (args != 2 || !isPlainWord(words[1]) || !isPlainWord(words[2])) {
            return usage("versions FW HW (plain ASCII words)");
        }
        simulation_.setVersions(widen(words[1]), widen(words[2]));
        return "ok";
    }
    if (command == "replay") {
        const std::string path = restOfLine(line);
        if (path.empty()) return usage("replay PATH");
        auto bytes = readDataFile(path);
        // One answer for every refusal: it must not tell whether a file outside exists.
        if (!bytes) return "error replay reads only regular files inside the data folder, up to 64 MiB";
        simulation_.replayNext(std::move(*bytes));
        return "ok";
    }
    if (command == "seed") {
        const auto seed = args == 1 ? argument(1, 0, std::numeric_limits<uint32_t>::max()) : std::nullopt;
        if (!seed) return usage("seed N (N = 0..4294967295)");
        simulation_.reseedSubject(static_cast<uint32_t>(*seed));
        return "ok";
    }
    return "error unknown command: " + command + " (try help)";
}

}  // namespace kv::sim
