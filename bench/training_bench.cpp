// MODEL_GENERATE's generation on the three 8 gestures x 8 channels x 150 s sets,
// against libsvm's svm-train and liblinear's train on the same 28 pair problems.
// For every set: the median time of generateModel (feature extraction and
// training, as the command runs it) and of trainModel alone, the peak heap of
// generateModel, the summed wall time of
// svm-train -t 0 and liblinear-train -s 3 over the pair problems written as
// libsvm files (class weights as the trainer's bounds, C = 1, epsilon 0.001),
// the largest relative difference between our dual objective and libsvm's, and
// the number of pairs whose objectives agree within 0.1 %.
// With --pairs, the objectives of every pair are printed as well.
// Whether the objectives agree within 0.1 % and whether the hard set meets its
// goal (150 ms and a tenth of svm-train's time) is printed, not turned into the
// exit status: this is a measurement.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/heap_peak.h"
#include "bench/training_sets.h"
#include "core/data_files.h"
#include "core/operating_state.h"
#include "model/features.h"
#include "model/training.h"

extern char** environ;

namespace {

constexpr int GENERATE_RUNS = 7;
constexpr double GOAL_MS = 150.0;
constexpr double GOAL_LIBSVM_SHARE = 0.1;
constexpr double OBJECTIVE_TOLERANCE = 0.001;

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Runs a program with its standard output in outFile; the wall time in ms, or -1.
double runTimed(const std::vector<std::string>& args, const std::string& outFile) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    int status = 0;
    const bool ran = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                     waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const double ms = millisecondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    return ran ? ms : -1.0;
}

void writeLibsvmFile(const PairProblem& problem, const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "w");
    for (uint32_t s = 0; s < problem.count; ++s) {
        std::fprintf(file, "%+d", problem.labels[s]);
        for (uint32_t d = 0; d < problem.dim; ++d)
            std::fprintf(file, " %u:%.9g", d + 1, problem.data[s * problem.dim + d]);
        std::fputc('\n', file);
    }
    std::fclose(file);
}

// 0.5 |sum alpha_s y_s x_s|^2 - sum alpha_s, the dual objective libsvm reports as "obj".
double dualObjective(const PairProblem& problem, const std::vector<float>& alpha) {
    double w[8] = {};
    double sum = 0;
    for (uint32_t s = 0; s < problem.count; ++s) {
        sum += alpha[s];
        for (uint32_t d = 0; d < problem.dim; ++d)
            w[d] += double(alpha[s]) * problem.labels[s] * problem.data[s * problem.dim + d];
    }
    double norm = 0;
    for (double v : w) norm += v * v;
    return 0.5 * norm - sum;
}

struct SetFigures {
    double generateMedianMs = 0, generateMinMs = 0, trainMedianMs = 0, peakHeapMiB = 0;
    double libsvmMs = 0, liblinearMs = 0, worstObjectiveDiff = 0;
    int pairs = 0, samples = 0, pairsAgreeing = 0;
};

SetFigures measure(const TrainingSet& set, bool printPairs) {
    SetFigures figures;
    const RecordingSet recordings = recordTrainingSet(set);
    std::vector<double> times;
    for (int run = 0; run < GENERATE_RUNS; ++run) {
        const size_t before = resetHeapPeak();
        const auto start = std::chrono::steady_clock::now();
        if (generateModel(recordings, set.gestureMask, set.channelMask) != 0) return figures;
        times.push_back(millisecondsSince(start));
        figures.peakHeapMiB = std::max(figures.peakHeapMiB, (heapPeakBytes() - before) / 1048576.0);
    }
    std::sort(times.begin(), times.end());
    figures.generateMedianMs = times[times.size() / 2];
    figures.generateMinMs = times.front();

    // The pair problems exactly as trainModel builds them (all gestures, so the
    // feature file numbers are the class numbers).
    removeFeatureFiles();
    const uint32_t channels = bitCount(set.channelMask);
    for (const auto& [gesture, bytes] : recordings)
        extractFeatures(std::to_string(gesture), bytes->data(), bytes->size(), channels);
    const FeatureMap features = loadFeatureFiles(8);
    times.clear();
    for (int run = 0; run < GENERATE_RUNS; ++run) {
        const auto start = std::chrono::steady_clock::now();
        trainModel(8, channels);
        times.push_back(millisecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    figures.trainMedianMs = times[times.size() / 2];
    removeFeatureFiles();
    for (int p = 1; p < 8; ++p) {
        for (int q = p + 1; q <= 8; ++q) {
            const PairProblem problem = buildPairProblem(features, p, q, channels);
            SolverParams params;
            PairModel model;
            trainPair(problem, params, model);
            std::vector<float> alpha(problem.count);
            smoSolve(problem.data.data(), problem.dim, problem.count, problem.labels.data(), params, alpha.data());

            writeLibsvmFile(problem, "pair.txt");
            const std::string plus = std::to_string(params.upperPositive);
            const std::string minus = std::to_string(params.upperNegative);
            const double libsvm = runTimed({"svm-train", "-t", "0", "-c", "1", "-e", "0.001", "-w1", plus, "-w-1",
                                            minus, "pair.txt", "pair.model"},
                                           "svm.out");
            const double liblinear = runTimed({"liblinear-train", "-s", "3", "-c", "1", "-e", "0.001", "-B", "1", "-w1",
                                               plus, "-w-1", minus, "-q", "pair.txt", "pair.linear"},
                                              "linear.out");
            std::string out;
            readWholeFile("svm.out", out);
            const size_t at = out.find("obj = ");
            if (libsvm < 0 || liblinear < 0 || at == std::string::npos) {
                std::fprintf(stderr, "svm-train or liblinear-train failed on pair %d-%d\n", p, q);
                figures.worstObjectiveDiff = INFINITY;
                continue;
            }
            const double theirs = std::strtod(out.c_str() + at + 6, nullptr);
            const double ours = dualObjective(problem, alpha);
            const double diff = std::fabs(ours - theirs) / std::max(1e-12, std::fabs(theirs));
            if (printPairs)
                std::printf("  pair %d-%d: %u samples, objective %g, libsvm's %g\n", p, q, problem.count, ours, theirs);
            figures.worstObjectiveDiff = std::max(figures.worstObjectiveDiff, diff);
            figures.pairsAgreeing += diff <= OBJECTIVE_TOLERANCE;
            figures.libsvmMs += libsvm;
            figures.liblinearMs += liblinear;
            figures.samples += static_cast<int>(problem.count);
            ++figures.pairs;
        }
    }
    return figures;
}

// Peak heap of trainPair on two classes of 750 samples (8 channels, feature-like
// values), over what the problem itself holds.
double largePairPeakMiB() {
    PairProblem problem;
    problem.dim = 8;
    problem.count = 1500;
    for (uint32_t s = 0; s < problem.count; ++s) {
        problem.labels.push_back(s < 750 ? 1 : -1);
        for (uint32_t d = 0; d < problem.dim; ++d)
            problem.data.push_back(20.0f + static_cast<float>((s * 7919 + d * 104729) % 1000) / 100.0f);
    }
    const size_t before = resetHeapPeak();
    SolverParams params;
    PairModel model;
    trainPair(problem, params, model);
    return (heapPeakBytes() - before) / 1048576.0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool printPairs = argc > 1 && std::strcmp(argv[1], "--pairs") == 0;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::string dir = (std::filesystem::temp_directory_path() / "emg_training_bench_XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) return 1;
    std::filesystem::current_path(dir);

    bool objectivesAgree = true;
    bool goalMet = false;
    std::printf("%-12s %5s %7s %11s %7s %8s %8s %12s %9s %9s %12s %9s %6s\n", "set", "pairs", "samples", "generate ms",
                "(min)", "train ms", "heap MiB", "svm-train ms", "gen/svm", "train/svm", "liblinear ms", "obj diff",
                "agree");
    for (size_t k = 0; k < 3; ++k) {
        const TrainingSet& set = TRAINING_SETS[k];
        const SetFigures f = measure(set, printPairs);
        const double ratio = f.generateMedianMs / f.libsvmMs;
        std::printf("%-12s %5d %7d %11.1f %7.1f %8.1f %8.2f %12.0f %9.3f %9.3f %12.0f %8.3f%% %3d/%d\n", set.name,
                    f.pairs, f.samples, f.generateMedianMs, f.generateMinMs, f.trainMedianMs, f.peakHeapMiB, f.libsvmMs,
                    ratio, f.trainMedianMs / f.libsvmMs, f.liblinearMs, 100 * f.worstObjectiveDiff, f.pairsAgreeing,
                    f.pairs);
        objectivesAgree = objectivesAgree && f.worstObjectiveDiff <= OBJECTIVE_TOLERANCE;
        if (k == 2) goalMet = f.generateMedianMs <= GOAL_MS && ratio <= GOAL_LIBSVM_SHARE;
    }
    std::printf("objectives within %.1f %% of libsvm's: %s\n", 100 * OBJECTIVE_TOLERANCE,
                objectivesAgree ? "yes" : "NO");
    std::printf("peak heap of one pair of 750 + 750 samples: %.2f MiB\n", largePairPeakMiB());
    std::printf("goal on %s (<= %.0f ms and <= %.1f x svm-train): %s\n", TRAINING_SETS[2].name, GOAL_MS,
                GOAL_LIBSVM_SHARE, goalMet ? "met" : "MISSED");

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
    return 0;  // a measurement: the goal and the objective check are reported above, not enforced
}
