// Live identification through the real binary, on a replay of the virtual subject: the results must be exactly those
// identifyChunk gives in this process (the plumbing only; the model tests pin the numbers).
#include <filesystem>
#include <fstream>

#include "core/data_files.h"
#include "tests/e2e/session.h"
#include "tests/model/subject_stream.h"

namespace {

// The IDENTIFY_RESULT messages the server must send for a stream of packets, with the model in workDir.
std::vector<Bytes> expectedResults(const std::string& workDir, const std::string& stream, size_t packetLength,
                                   uint8_t gestureMask) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(workDir);
    StreamIdentifier identifier;
    std::filesystem::current_path(previous);
    std::vector<Bytes> results;
    int last = 0xFF;
    for (size_t at = 0; at + packetLength <= stream.size(); at += packetLength) {
        const auto result = identifier.feed(reinterpret_cast<const uint8_t*>(&stream[at]), packetLength);
        if (result && *result != last) results.push_back(Bytes{0x08, gestureForClass(last = *result, gestureMask)});
    }
    return results;
}

}  // namespace

TEST(Identification, PlumbingDeliversTheInProcessIdentifiersResultsForTheLiveStream) {
    Session s;
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.connectArmband());
    ASSERT_EQ(s.request({0x05, 0x0F, 0b00010100}, 0x05), (Bytes{0x05, 0x00}));  // gestures 3 and 5
    kv::sim::VirtualSubject subject(11);
    for (int g : {3, 5}) {
        std::ofstream(s.server.path(rawFileName(static_cast<unsigned>(g))), std::ios::binary)
            << subjectStream(subject, 0x0F, {{g, 3}, {0, 2}}, 15);
    }
    ASSERT_EQ(s.request({0x0A}, 0x0A, 20000), (Bytes{0x0A, 0x00}));

    const std::string live = subjectStream(subject, 0x0F, {{0, 2}, {3, 4}, {0, 3}, {5, 4}, {0, 3}}, 16);
    std::ofstream(s.server.path("live.bin"), std::ios::binary) << live;
    const std::vector<Bytes> expected = expectedResults(s.server.workDir(), live, 64, 0b00010100);
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(expected.front(), (Bytes{0x08, 0xFF})) << "the first window only primes";
    EXPECT_NE(std::find(expected.begin(), expected.end(), Bytes{0x08, 3}), expected.end());
    EXPECT_NE(std::find(expected.begin(), expected.end(), Bytes{0x08, 5}), expected.end());

    ASSERT_EQ(s.controlCommand("replay " + s.server.path("live.bin")), "ok");
    ASSERT_TRUE(s.client.send({0x08}));
    std::vector<Bytes> received;
    for (const Bytes& message : s.client.drain(17500)) {
        if (message.at(0) == 0x08) received.push_back(message);
    }
    EXPECT_EQ(s.request({0x09}, 0x08), (Bytes{0x08, 0xFD}));
    // The stream goes on at rest after the replay; any further answer would be a change.
    ASSERT_GE(received.size(), expected.size());
    EXPECT_EQ(std::vector<Bytes>(received.begin(), received.begin() + expected.size()), expected);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(s.server.waitForLog("Identify init, detect new model", 100));
    EXPECT_TRUE(s.server.waitForLog("identify buffer length:520", 100));
}
