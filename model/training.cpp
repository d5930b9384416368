// trainModel: one classifier per class pair, the pairs trained side by side and
// written in pair order.
#include "model/features.h"
#include "model/parallel_for.h"
#include "model/training_files.h"

#include <string>

#include "platform/files.h"

PairProblem buildPairProblem(const FeatureMap& features, int32_t p, int32_t q, uint32_t channels) {
    static const std::vector<float> empty;
    const auto lower = features.find(p);
    const auto higher = features.find(q);
    const std::vector<float>& first = lower == features.end() ? empty : lower->second;
    const std::vector<float>& second = higher == features.end() ? empty : higher->second;

    PairProblem problem;
    problem.dim = channels;
    problem.data = first;
    problem.data.insert(problem.data.end(), second.begin(), second.end());
    problem.count = static_cast<uint32_t>(problem.data.size() / channels);
    problem.labels.assign(problem.count, -1);
    const size_t positives = first.size() / channels;
    for (size_t s = 0; s < positives; ++s) problem.labels[s] = 1;
    return problem;
}

int trainModel(int32_t gestures, uint32_t channels) {
    if (channels == 0 || channels > MAX_CHANNELS) return TRAIN_BAD_CHANNELS;

    const FeatureMap features = loadFeatureFiles(gestures);
    std::vector<PairProblem> problems;
    for (int32_t p = 1; p < gestures; ++p)
        for (int32_t q = p + 1; q <= gestures; ++q) problems.push_back(buildPairProblem(features, p, q, channels));

    std::vector<PairModel> models(problems.size());
    parallelFor(problems.size(), [&](size_t k) {
        SolverParams params;
        trainPair(problems[k], params, models[k]);
    });
    // Written whole or not at all: the old model stays until the new one is on disk.
    std::string bytes;
    for (const PairModel& model : models) appendPairLine(bytes, model, channels);
    return platform::writeFileDurably(MODEL_FILE_NAME, bytes.data(), bytes.size()) ? TRAIN_OK : TRAIN_NOT_WRITTEN;
}
