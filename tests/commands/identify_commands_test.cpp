#include <fstream>

#include "armband/emg_routing.h"
#include "tests/commands/command_fixture.h"

using IdentifyCommandTest = CommandTest;

TEST_F(IdentifyCommandTest, StartsWithAUsableModel) {
    writeWeights(3, 5);
    {
        std::lock_guard<std::mutex> lock(identifyBufferMutex);
        identifyBuffer->assign(10, 1);
    }
    newModelFlag = false;
    const std::string log = command({0x08});
    EXPECT_NE(log.find("start identify command recieved."), std::string::npos);
    EXPECT_NE(log.find("identify buffer length:520"), std::string::npos);
    EXPECT_EQ(operatingMode.load(), MODE_IDENTIFYING);
    EXPECT_EQ(identifyWindowLength.load(), 520u);
    EXPECT_EQ(modelRows.load(), 3);
    EXPECT_EQ(modelColumns.load(), 5);
    EXPECT_TRUE(newModelFlag.load());
    EXPECT_TRUE(identifyBuffer->empty());
    command({0x08});
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFF})) << "already identifying";
    EXPECT_NE(command({0x09}).find("stop identify command recieved."), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFD}));
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);
}

TEST_F(IdentifyCommandTest, RefusesWhatItCannotRun) {
    EXPECT_EQ(command({0x08, 0x00}).find("start identify command recieved."), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFF}));
    command({0x08});
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFF})) << "no W&B.txt";
    std::ofstream("W&B.txt");
    command({0x08});
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFF})) << "an empty W&B.txt";
    // Shapes the identifier's fixed arrays cannot hold.
    for (auto [rows, columns] : {std::pair<int, int>{1, 10}, {2, 3}, {36, 9}, {1, 1}}) {
        writeWeights(rows, columns);
        command({0x08});
        EXPECT_EQ(reply(), (Bytes{0x08, 0xFF})) << rows << "x" << columns;
        EXPECT_EQ(operatingMode.load(), MODE_IDLE);
    }
    std::ofstream("W&B.txt") << "0.5 inf\n";
    command({0x08});
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFF})) << "a number that is not finite";
    writeWeights(1, 2);
    operatingMode = MODE_RECORDING;
    command({0x08});
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFF})) << "recording";
    command({0x09, 0x01});
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFF}));
    command({0x09});
    EXPECT_EQ(reply(), (Bytes{0x08, 0xFD})) << "IDENTIFY_STOP ends any mode";
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);
}
