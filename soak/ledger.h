// Bookkeeping of the raw recording files: which bytes each file is known to
// begin with (seeded before the server started, or confirmed by [06 00]),
// the recording in progress with the file size it started from and the
// previews seen for it, and the checks that tie the three together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "soak/report.h"
#include "tools/client_kit/ws_client.h"

class Ledger {
public:
    Ledger(Report& report, std::string workDir, size_t packetLength);

    std::string path(unsigned gesture) const;
    // Writes a file before the server starts; its bytes count as known.
    bool seed(unsigned gesture, const std::string& bytes);

    // Just before RECORD_START of gesture: the file's size and content now.
    void begin(unsigned gesture);
    bool pending() const { return pending_.has_value(); }
    unsigned pendingGesture() const { return pending_ ? pending_->gesture : 0; }
    // A preview while the recording is pending (ignored otherwise).
    void preview(const Bytes& message);
    // [06 00]: the bytes appended since begin() are the recording; they must
    // be whole packets, between fewestBytes and mostBytes, and match the previews.
    void confirm(size_t fewestBytes, size_t mostBytes);
    // The recording was not saved (failed save, RECORD_STOP, disconnection):
    // the file must be exactly as it was at begin().
    void notSaved(const std::string& why);

    // Every file with known content holds exactly that content (or, with
    // prefixOnly, begins with it).
    void verifyAll(const std::string& checkName, bool prefixOnly = false);
    // Known content per gesture (for the final figures).
    const std::map<unsigned, std::string>& known() const { return known_; }
    uint64_t confirmations() const { return confirmations_; }
    uint64_t bytesConfirmed() const { return bytesConfirmed_; }

private:
    struct Pending {
        unsigned gesture = 0;
        std::string before;  // the whole file at begin()
        std::vector<Bytes> previews;
    };
    bool previewsMatch(const std::string& appended, const std::vector<Bytes>& previews, std::string& why) const;

    Report& report_;
    std::string workDir_;
    size_t packetLength_;
    std::map<unsigned, std::string> known_;
    std::optional<Pending> pending_;
    uint64_t confirmations_ = 0;
    uint64_t bytesConfirmed_ = 0;
};
