#include "soak/ledger.h"

#include <fstream>

#include "tools/client_kit/server_process.h"

namespace {

// Previews of packets that were routed while the save ran may follow the last saved one.
constexpr size_t EXTRA_PREVIEWS_ALLOWED = 4;

}  // namespace

Ledger::Ledger(Report& report, std::string workDir, size_t packetLength)
    : report_(report), workDir_(std::move(workDir)), packetLength_(packetLength) {}

std::string Ledger::path(unsigned gesture) const { return workDir_ + "/raw" + std::to_string(gesture) + ".bin"; }

bool Ledger::seed(unsigned gesture, const std::string& bytes) {
    std::ofstream out(path(gesture), std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) return false;
    known_[gesture] = bytes;
    return true;
}

void Ledger::begin(unsigned gesture) {
    Pending p;
    p.gesture = gesture;
    p.before = readFile(path(gesture));
    const auto it = known_.find(gesture);
    if (it != known_.end()) {
        report_.check(p.before == it->second, "raw files hold exactly their confirmed bytes",
                      "raw" + std::to_string(gesture) + ".bin changed between recordings (" +
                          std::to_string(p.before.size()) + " bytes, " + std::to_string(it->second.size()) +
                          " known)");
    }
    pending_ = std::move(p);
}

void Ledger::preview(const Bytes& message) {
    if (pending_) pending_->previews.push_back(message);
}

bool Ledger::previewsMatch(const std::string& appended, const std::vector<Bytes>& previews, std::string& why) const {
    const size_t packets = appended.size() / packetLength_;
    if (previews.size() < packets || previews.size() > packets + EXTRA_PREVIEWS_ALLOWED) {
        why = std::to_string(previews.size()) + " previews for " + std::to_string(packets) + " packets saved";
        return false;
    }
    const size_t block = packetLength_ / 16;
    for (size_t p = 0; p < packets; ++p) {
        Bytes expected{0x07};
        for (size_t k = 0; k < 4; ++k) {
            const size_t at = p * packetLength_ + 4 * k * block;
            expected.insert(expected.end(), appended.begin() + static_cast<std::ptrdiff_t>(at),
                            appended.begin() + static_cast<std::ptrdiff_t>(at + block));
        }
        if (previews[p] != expected) {
            why = "packet " + std::to_string(p) + " of " + std::to_string(packets) + " differs from its preview";
            return false;
        }
    }
    return true;
}

void Ledger::confirm(size_t fewestBytes, size_t mostBytes) {
    if (!pending_) {
        report_.violation("record replies only when asked for", "[06 00] with no recording under way");
        return;
    }
    Pending p = std::move(*pending_);
    pending_.reset();
    const std::string name = "raw" + std::to_string(p.gesture) + ".bin";
    const std::string now = readFile(path(p.gesture));
    const bool kept = now.size() >= p.before.size() && now.compare(0, p.before.size(), p.before) == 0;
    report_.check(kept, "a save appends after the bytes already there", name + ": earlier bytes changed");
    if (!kept) return;
    const std::string appended = now.substr(p.before.size());
    report_.check(appended.size() % packetLength_ == 0, "a saved recording is whole packets",
                  name + ": " + std::to_string(appended.size()) + " bytes appended");
    report_.check(appended.size() >= fewestBytes && appended.size() <= mostBytes,
                  "a saved recording is as long as the stream ran",
                  name + ": " + std::to_string(appended.size()) + " bytes appended, expected " +
                      std::to_string(fewestBytes) + " to " + std::to_string(mostBytes));
    std::string why;
    const bool matched = previewsMatch(appended, p.previews, why);
    report_.check(matched, "saved bytes are the previewed packets", name + ": " + why);
    known_[p.gesture] = now;
    ++confirmations_;
    bytesConfirmed_ += appended.size();
    note("recording confirmed: " + std::to_string(appended.size()) + " bytes appended to " + name + " (now " +
         std::to_string(now.size()) + ")");
}

void Ledger::notSaved(const std::string& why) {
    if (!pending_) return;
    Pending p = std::move(*pending_);
    pending_.reset();
    const std::string name = "raw" + std::to_string(p.gesture) + ".bin";
    report_.check(readFile(path(p.gesture)) == p.before, "a recording that is not saved leaves its file alone",
                  name + " changed after " + why);
}

void Ledger::verifyAll(const std::string& checkName, bool prefixOnly) {
    for (const auto& [gesture, bytes] : known_) {
        const std::string name = "raw" + std::to_string(gesture) + ".bin";
        const std::string now = readFile(path(gesture));
        const bool ok = prefixOnly ? now.compare(0, bytes.size(), bytes) == 0 && now.size() >= bytes.size()
                                   : now == bytes;
        report_.check(ok, checkName,
                      name + ": " + std::to_string(now.size()) + " bytes, " + std::to_string(bytes.size()) + " known");
    }
}
