// Start-up, main loop and shutdown of the server.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/event_queue.h"

constexpr const wchar_t* CLIENT_NAME = L"Vorivezo Ruvo Revozi Duzezireziv";

extern std::atomic<bool> exitRequested;

// The whole life of the server; returns the process exit code.
int runEmgBridge();

// Pops and dispatches records until an EXIT_EVT has been handled.
void runMainLoop();

// Logs one record with the hex dump of its payload (dump holds HEX_DUMP_SIZE
// characters) and calls its handler; EXIT_EVT sets exitRequested.
void dispatchRecord(const EventRecord& record, char* dump);

// Body of the SDK polling thread.
void sdkPollThread();

// Room for the dump of 255 payload bytes, five characters each.
constexpr size_t HEX_DUMP_SIZE = 255 * 5 + 1;
// Writes "0x%02x " for each payload byte into dump.
void formatHexDump(const uint8_t* payload, uint8_t length, char* dump);
