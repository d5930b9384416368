// Every command's handler, by the file that holds it; each appends to the reply
// as the dispatcher's conventions say.
#pragma once

#include <cstdint>

#include "commands/dispatcher.h"

// armband_commands.cpp
void commandScanStart(uint8_t length, Reply& reply);
void commandConnect(uint8_t length, Reply& reply);
void commandDisconnect(uint8_t length, Reply& reply);
void commandEmgRawConfig(const uint8_t* bytes, uint8_t length, Reply& reply);
// gesture_stream_commands.cpp
void commandGestureStreamStart(Reply& reply);
void commandGestureStreamStop(Reply& reply);
// query_commands.cpp
void commandPing(uint8_t length, Reply& reply);
void commandGetVersion(Reply& reply);
// recording.cpp
void commandRecordStart(const uint8_t* bytes, uint8_t length, Reply& reply);
void commandRecordStop(uint8_t length, Reply& reply);
// identify_commands.cpp
void commandIdentifyStart(uint8_t length, Reply& reply);
void commandIdentifyStop(uint8_t length, Reply& reply);
// model_commands.cpp
void commandModelGenerate(uint8_t length, Reply& reply);
void commandModelGenerateStop(uint8_t length, Reply& reply);
void commandModelUpdate(uint8_t length, Reply& reply);
void commandModelUpdateStop(uint8_t length, Reply& reply);
