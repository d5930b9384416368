// MODEL_GENERATE, MODEL_UPDATE and their stop commands.
#include <cstdio>

#include "armband/kinvo_handle.h"
#include "commands/branches.h"
#include "commands/evaluation_service.h"
#include "commands/generate_model.h"
#include "commands/model_image.h"
#include "commands/protocol.h"
#include "core/data_files.h"
#include "core/emg_geometry.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "model/training.h"
#include "platform/files.h"

void commandModelGenerate(uint8_t length, Reply& reply) {
    reply.push_back(CMD_MODEL_GENERATE);
    const uint8_t gestures = gestureMask;
    const uint8_t channels = channelMask;
    // With fewer than two gestures or no channel there is nothing to train:
    // refuse before any file is read or written, so the last model stays.
    if (length != 1 || bitCount(gestures) < 2 || bitCount(channels) == 0) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    RecordingSet recordings;
    for (int g = 1; g <= static_cast<int>(MAX_GESTURES); ++g) {
        if (!((gestures >> (g - 1)) & 1u)) continue;
        const std::string name = rawFileName(static_cast<unsigned>(g));
        auto bytes = std::make_shared<std::vector<uint8_t>>();
        const ReadResult result = readWholeFile(name, *bytes);
        if (result != READ_OK) {
            if (result == READ_OPEN_FAILED)
                logPrint(LOG_DEBUG, LOG_TAG, "raw_file_name open error.");  // word for word; names no file
            else
                logPrint(LOG_DEBUG, LOG_TAG, "%s cannot be read completely", name.c_str());
            reply.push_back(STATUS_FAIL);
            return;
        }
        recordings[static_cast<uint8_t>(g)] = std::move(bytes);
    }
    if (generateModel(recordings, gestures, channels) != GENERATE_OK) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    logPrint(LOG_DEBUG, LOG_TAG, "start generate model ....");
    newModelFlag.exchange(true);
    uploadState = UPLOAD_NONE;  // the armband holds an older model, if any
    reply.push_back(STATUS_OK);
    removeFeatureFiles();
    // The recordings are never changed once read, so the worker can share them.
    evaluationService.start(std::move(recordings), gestures, channels);
}

void commandModelGenerateStop(uint8_t length, Reply& reply) {
    reply.push_back(REPLY_MODEL_GENERATE_STOP);
    reply.push_back(length == 1 ? STATUS_STOPPED : STATUS_FAIL);
}

void commandModelUpdate(uint8_t length, Reply& reply) {
    logPrint(LOG_DEBUG, LOG_TAG, "Start model update...");
    reply.push_back(CMD_MODEL_UPDATE);
    if (length != 1) {
        logPrint(LOG_DEBUG, LOG_TAG, "MODEL_UPDATE CMD lenght error");  // spelling kept: log readers match it
        reply.push_back(STATUS_LENGTH_ERROR);
        return;
    }
    int32_t rows = 0;
    int32_t columns = 0;
    if (!readModelShape(rows, columns)) {
        logPrint(LOG_DEBUG, LOG_TAG, "Wrong W&B file");
        reply.push_back(STATUS_FAIL);
        return;
    }
    std::string weights;
    const bool weightsRead = readWholeFile(MODEL_FILE_NAME, weights) == READ_OK;
    std::FILE* image = nullptr;
    if (!platform::openForWriting(MODEL_IMAGE_FILE_NAME, image) && platform::isSymbolicLink(MODEL_IMAGE_FILE_NAME)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s is a symbolic link: not written", MODEL_IMAGE_FILE_NAME);
    }
    auto closeImage = [&] {
        if (image) std::fclose(image);
    };
    const uint8_t gestures = gestureCount;
    if (columns - 1 != channelCount || rows != modelRowsForGestures(gestures)) {
        reply.push_back(STATUS_FAIL);
        // Spelling kept word for word: log readers match this text.
        logPrint(LOG_DEBUG, LOG_TAG,
                 "There is difference between W&B configuration and channle(gesture) configuration");
        closeImage();
        return;
    }
    if (!modelNumbersFinite()) {
        reply.push_back(STATUS_FAIL);
        logPrint(LOG_DEBUG, LOG_TAG, "W&B.txt holds a value that is not a finite number");
        closeImage();
        return;
    }
    if (!weightsRead || !image) {
        logPrint(LOG_DEBUG, LOG_TAG, "Model file operate err");
        reply.push_back(STATUS_FILE_ERROR);
        closeImage();
        return;
    }
    uint8_t buffer[MODEL_IMAGE_BUFFER_SIZE];
    const size_t imageLength = buildModelImage(weights, rows, columns, channelMask, gestures, buffer);
    const bool written = std::fwrite(buffer, 1, imageLength, image) == imageLength;
    const bool closed = std::fclose(image) == 0;
    if (!written || !closed) logPrint(LOG_DEBUG, LOG_TAG, "Model file operate err");
    uploadProgress = 0;
    uploadState = UPLOAD_RUNNING;
    if (listener) listener->trainModelUpdate(buffer, static_cast<uint32_t>(imageLength));
}

void commandModelUpdateStop(uint8_t length, Reply& reply) {
    reply.push_back(REPLY_MODEL_UPDATE_STOP);
    reply.push_back(length == 1 ? STATUS_STOPPED : STATUS_FAIL);
}
