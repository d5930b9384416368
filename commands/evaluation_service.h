// The held-out evaluation of each newly generated model, run on a worker thread of
// its own and kept for the HTTP side. A newer generation supersedes an older one:
// at most one evaluation runs at a time, a request still waiting is replaced, and
// the result of a superseded evaluation is dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "model/features.h"

class EvaluationService {
public:
    // Turns one generation's recordings into the JSON object to serve.
    using Evaluator = std::function<std::string(const RecordingSet&, uint8_t gestureMask, uint8_t channelMask)>;

    // The default evaluator: DEFAULT_EVALUATION_FOLDS folds, {"state":"done",...} or
    // {"state":"failed","error":...}.
    static std::string evaluateToJson(const RecordingSet& recordings, uint8_t gestureMask, uint8_t channelMask);

    explicit EvaluationService(Evaluator evaluator = evaluateToJson);
    // Waits for a running evaluation to end, then stops the worker.
    ~EvaluationService();
    EvaluationService(const EvaluationService&) = delete;
    EvaluationService& operator=(const EvaluationService&) = delete;

    // Hands the recordings of a new generation to the worker (started on first use)
    // and returns at once.
    void start(RecordingSet recordings, uint8_t gestureMask, uint8_t channelMask);

    // {"state":"pending"} until the newest generation's evaluation is done, then its
    // JSON; found is false (and the text empty) before any start.
    std::string statusJson(bool& found) const;

    // Blocks until the newest generation's result is in, or the timeout passes;
    // true when it is in (or nothing was ever started).
    bool waitSettled(std::chrono::milliseconds timeout) const;

private:
    void run();

    const Evaluator evaluator_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::thread worker_;
    bool stopping_ = false;
    uint64_t generation_ = 0;  // of the newest start
    bool requestWaiting_ = false;
    RecordingSet recordings_;
    uint8_t gestureMask_ = 0;
    uint8_t channelMask_ = 0;
    uint64_t resultGeneration_ = 0;  // generation whose evaluation result_ holds
    std::string result_;
};

// The server's service, fed by MODEL_GENERATE.
extern EvaluationService evaluationService;

// For GET /api/evaluation: evaluationService.statusJson(found); found false means 404.
std::string evaluationStatusJson(bool& found);
