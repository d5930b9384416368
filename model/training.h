// Pairwise (one-versus-one) linear classifiers trained by sequential minimal
// optimisation on the per-class feature files, written to "W&B.txt".
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "core/data_files.h"
#include "core/emg_geometry.h"

struct SolverParams {
    uint32_t iterationLimit = 15000;
    float epsilon = 0.001f;
    float upperPositive = 0;  // box bound of samples labelled +1
    float upperNegative = 0;  // box bound of samples labelled -1
};

// Samples of the lower class (label +1) followed by the higher class (label -1);
// sample s occupies data[s*dim] .. data[s*dim + dim - 1].
struct PairProblem {
    std::vector<float> data;
    std::vector<int32_t> labels;
    uint32_t dim = 0;
    uint32_t count = 0;
};

// Decides for the lower class when w.x + b >= 0.
struct PairModel {
    float w[MAX_CHANNELS] = {};
    float b = 0;
};

using FeatureMap = std::map<int32_t, std::vector<float>>;

// The numbers (parseTextNumbers) of featureFileName(k) for k = 1..gestures; a file that
// is missing or cannot be read whole gives an empty vector.
FeatureMap loadFeatureFiles(int32_t gestures);

// The problem of classes p < q: data of p then q, n = (n_p + n_q) / channels samples of
// which the first n_p / channels are labelled +1; a class missing from the map is empty.
PairProblem buildPairProblem(const FeatureMap& features, int32_t p, int32_t q, uint32_t channels);

enum TrainResult : int {
    TRAIN_OK = 0,
    TRAIN_BAD_CHANNELS = 2,  // channels is 0 or above 8: nothing trained or written
    TRAIN_NOT_WRITTEN = 3,   // "W&B.txt" not replaced (a failed write, or a symbolic link there); the old one stays
};

// Trains every pair and replaces "W&B.txt" with the result, whole or not at all.
int trainModel(int32_t gestures, uint32_t channels);

// Sets the class-weighted bounds in params, solves, and builds the weights.
// problem.dim must be 1..8.
void trainPair(const PairProblem& problem, SolverParams& params, PairModel& model);

// Solves the dual problem for count samples; leaves the multipliers in alpha
// (count entries) and returns the bias.
float smoSolve(const float* data, uint32_t dim, uint32_t count, const int32_t* labels, const SolverParams& params,
               float* alpha);

// Shape of "W&B.txt": rows = line feeds, columns = spaces / rows + 1. False when the
// file cannot be read whole, has no line feed, or its space count is not a multiple of rows.
bool readModelShape(int32_t& rows, int32_t& columns);

// False when a word of "W&B.txt" is not a finite number (parseTextNumber: nan, inf,
// beyond the float range, or no number at all), or the file cannot be read whole;
// such a model is never sent to the armband nor used for identification.
bool modelNumbersFinite();
