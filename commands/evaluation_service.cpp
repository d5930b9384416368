#include "commands/evaluation_service.h"

#include <utility>

#include "commands/evaluation_report.h"
#include "core/logger.h"
#include "model/evaluation.h"

EvaluationService evaluationService;

std::string evaluationStatusJson(bool& found) {
    return evaluationService.statusJson(found);
}

std::string EvaluationService::evaluateToJson(const RecordingSet& recordings, uint8_t gestureMask,
                                              uint8_t channelMask) {
    Evaluation evaluation;
    std::string error;
    if (evaluateRecordings(recordings, gestureMask, channelMask, DEFAULT_EVALUATION_FOLDS, evaluation, error) != 0)
        return evaluationErrorJson(error);
    return evaluationJson(evaluation);
}

EvaluationService::EvaluationService(Evaluator evaluator) : evaluator_(std::move(evaluator)) {}

EvaluationService::~EvaluationService() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void EvaluationService::start(RecordingSet recordings, uint8_t gestureMask, uint8_t channelMask) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++generation_;
        requestWaiting_ = true;
        recordings_ = std::move(recordings);
        gestureMask_ = gestureMask;
        channelMask_ = channelMask;
        if (!worker_.joinable()) worker_ = std::thread(&EvaluationService::run, this);
    }
    changed_.notify_all();
}

std::string EvaluationService::statusJson(bool& found) const {
    std::lock_guard<std::mutex> lock(mutex_);
    found = generation_ != 0;
    if (!found) return {};
    return resultGeneration_ == generation_ ? result_ : "{\"state\":\"pending\"}";
}

bool EvaluationService::waitSettled(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return resultGeneration_ == generation_; });
}

void EvaluationService::run() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stopping_ || requestWaiting_; });
        if (stopping_) return;
        const uint64_t generation = generation_;
        const RecordingSet recordings = std::move(recordings_);
        recordings_.clear();
        requestWaiting_ = false;
        const uint8_t gestureMask = gestureMask_;
        const uint8_t channelMask = channelMask_;
        lock.unlock();

        std::string json = evaluator_(recordings, gestureMask, channelMask);

        lock.lock();
        const bool current = generation == generation_;
        if (current) {
            result_ = std::move(json);
            resultGeneration_ = generation;
        }
        lock.unlock();
        changed_.notify_all();
        logPrint(LOG_DEBUG, LOG_TAG, "%s, held-out evaluation of model %llu %s", "EvaluationService::run",
                 static_cast<unsigned long long>(generation), current ? "ready" : "superseded");
    }
}
