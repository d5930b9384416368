// Codes and status bytes of the client message protocol. Byte 0 of every
// message is its code; replies are [code, status].
#pragma once

#include <cstdint>

// Client commands.
enum CommandCode : uint8_t {
    CMD_PING = 0x01,
    CMD_SCAN_START = 0x02,
    CMD_CONNECT = 0x03,
    CMD_DISCONNECT = 0x04,
    CMD_EMG_RAW_CONFIG = 0x05,
    CMD_RECORD_START = 0x06,
    CMD_RECORD_STOP = 0x07,
    CMD_IDENTIFY_START = 0x08,
    CMD_IDENTIFY_STOP = 0x09,
    CMD_MODEL_GENERATE = 0x0A,
    CMD_MODEL_GENERATE_STOP = 0x0B,
    CMD_MODEL_UPDATE = 0x0C,
    CMD_MODEL_UPDATE_STOP = 0x0D,
    CMD_GESTURE_STREAM_START = 0x10,
    CMD_GESTURE_STREAM_STOP = 0x11,
    CMD_GET_VERSION = 0x30,
    CMD_EXIT = 0xFF,
};

// Each stop command replies under its start command's code, so that the client
// reads the reply as the end of the flow it started. Deliberate, not a slip.
constexpr uint8_t REPLY_RECORD_STOP = CMD_RECORD_START;
constexpr uint8_t REPLY_IDENTIFY_STOP = CMD_IDENTIFY_START;
constexpr uint8_t REPLY_MODEL_GENERATE_STOP = CMD_MODEL_GENERATE;
constexpr uint8_t REPLY_MODEL_UPDATE_STOP = CMD_MODEL_UPDATE;
constexpr uint8_t REPLY_GESTURE_STREAM_STOP = CMD_GESTURE_STREAM_START;

// Server messages that are not immediate replies.
enum MessageCode : uint8_t {
    MSG_SCAN_RESULT = 0x02,
    MSG_CONNECTED = 0x03,
    MSG_DISCONNECTED = 0x04,
    MSG_EMG_RAW_CONFIG_RESULT = 0x05,
    MSG_RECORD_RESULT = 0x06,
    MSG_EMG_PREVIEW = 0x07,
    MSG_IDENTIFY_RESULT = 0x08,
    MSG_MODEL_UPDATE_RESULT = 0x0C,
    MSG_MODEL_UPDATE_PROGRESS = 0x0D,
    MSG_GESTURE_DATA = 0x10,
};

enum StatusCode : uint8_t {
    STATUS_OK = 0x00,
    STATUS_FAIL = 0xFF,
    STATUS_STOPPED = 0xFD,
    STATUS_BUSY = 0xFC,
    STATUS_DEVICE_FAILED = 0xF0,
    STATUS_NO_CONFIG = 0xF1,
    STATUS_NO_DEVICE = 0xF2,
    STATUS_LENGTH_ERROR = 0xEF,
    STATUS_FILE_ERROR = 0xEE,
};

constexpr const char* SERVER_VERSION = "000.005.012";
constexpr unsigned MAX_SERVER_MESSAGE = 255;
