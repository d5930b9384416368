#include <unistd.h>

#include <chrono>
#include <fstream>

#include "hub_session.h"
#include "sim/virtual_subject.h"

namespace {

std::vector<uint8_t> joined(const std::vector<Packet>& packets, size_t from = 0) {
    std::vector<uint8_t> bytes;
    for (size_t i = from; i < packets.size(); ++i) bytes.insert(bytes.end(), packets[i]->begin(), packets[i]->end());
    return bytes;
}

bool nearBaseline(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
        if (b < 100 || b > 150) return false;
    }
    return true;
}

}  // namespace

TEST_F(HubSession, PacketsArriveAt650FramesPerSecondWhileRawEmgIsOn) {
    startStream(0xFF);
    ASSERT_TRUE(listener->waitFor("data"));
    const int before = listener->count("data");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double expected = 1.5 * 650 / 16;
    EXPECT_NEAR(listener->count("data") - before, expected, expected * 0.25);

    ASSERT_EQ(notify(0x40), 0);
    const int stopped = listener->count("data");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(listener->count("data"), stopped);
}

TEST_F(HubSession, PacketsHoldSixteenFramesOfTheEnabledChannelsInOrder) {
    ASSERT_EQ(control.command("seed 7"), "ok");
    startStream(0x05);
    ASSERT_TRUE(listener->waitFor("data", 4));
    const auto packets = listener->packets();
    kv::sim::VirtualSubject reference(7);
    for (size_t p = 0; p < 4; ++p) {
        ASSERT_EQ(packets[p]->size(), 32u);
        for (size_t f = 0; f < 16; ++f) {
            uint8_t frame[2];
            reference.nextFrame(0x05, frame);
            ASSERT_EQ((*packets[p])[2 * f], frame[0]) << "packet " << p << " frame " << f;
            ASSERT_EQ((*packets[p])[2 * f + 1], frame[1]) << "packet " << p << " frame " << f;
        }
    }
    EXPECT_EQ(listener->events().back().value, 0x80) << "data type";
}

TEST_F(HubSession, ReplayYieldsTheFileFromTheNextPacketThenTheSubjectGoesOn) {
    std::vector<uint8_t> file(100);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i);
    const std::string path = "/tmp/kv-replay-" + std::to_string(::getpid()) + ".bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), 100);
    startStream(0x03);
    ASSERT_TRUE(listener->waitFor("data", 3));
    ASSERT_EQ(control.command("replay " + path), "ok");
    ::unlink(path.c_str());
    ASSERT_TRUE(listener->waitFor("data", listener->count("data") + 8));

    const auto packets = listener->packets();
    size_t first = 0;
    while (first < packets.size() && (*packets[first])[0] != 0) ++first;
    ASSERT_LT(first, packets.size()) << "the replayed bytes never came";
    EXPECT_TRUE(nearBaseline(joined({packets.begin(), packets.begin() + first})));
    const auto bytes = joined(packets, first);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100), file);
    EXPECT_TRUE(nearBaseline({bytes.begin() + 100, bytes.end()}));
}

TEST_F(HubSession, TheHeldGestureShowsFromTheNextPacketsOn) {
    startStream(0xFF);
    ASSERT_TRUE(listener->waitFor("data", 3));
    EXPECT_TRUE(nearBaseline(joined(listener->packets())));
    ASSERT_EQ(control.command("gesture 3"), "ok");
    EXPECT_EQ(statusField("gesture"), "3");
    const int seen = listener->count("data");
    ASSERT_TRUE(listener->waitFor("data", seen + 4));
    EXPECT_FALSE(nearBaseline(joined(listener->packets(), static_cast<size_t>(seen) + 1)));
}

TEST_F(HubSession, ArmbandGesturesArriveOnlyWhileGestureNotificationsAreOn) {
    ASSERT_TRUE(connectArmband());
    EXPECT_EQ(control.command("armband-gesture 5").rfind("error ", 0), 0u);
    ASSERT_EQ(notify(0x40), 0);
    EXPECT_EQ(control.command("armband-gesture 255"), "ok");
    ASSERT_TRUE(listener->waitFor("gesture"));
    EXPECT_EQ(listener->events().back().value, 255);
    ASSERT_EQ(notify(0), 0);
    EXPECT_EQ(control.command("armband-gesture 5").rfind("error ", 0), 0u);
    EXPECT_EQ(listener->count("gesture"), 1);
}
