// The command branches that start the longer flows; each appends to the reply
// as the dispatcher's conventions say.
#pragma once

#include <cstdint>

#include "commands/dispatcher.h"

void commandRecordStart(const uint8_t* bytes, uint8_t length, Reply& reply);
void commandRecordStop(uint8_t length, Reply& reply);
void commandIdentifyStart(uint8_t length, Reply& reply);
void commandIdentifyStop(uint8_t length, Reply& reply);
void commandModelGenerate(uint8_t length, Reply& reply);
void commandModelGenerateStop(uint8_t length, Reply& reply);
void commandModelUpdate(uint8_t length, Reply& reply);
void commandModelUpdateStop(uint8_t length, Reply& reply);
