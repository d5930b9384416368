// Cost of the gesture model on realistic recordings: feature extraction of one
// 30 s recording, training of 8 gestures x 8 channels, and one identification chunk.
// Runs in a temporary directory, since the model reads and writes fixed file names.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/redirect_stdout.h"
#include "core/emg_geometry.h"
#include "model/features.h"
#include "model/identify.h"
#include "model/training.h"
#include "sim/virtual_subject.h"

namespace {

constexpr uint32_t CHANNELS = 8;
constexpr int GESTURES = 8;
constexpr uint32_t RECORDING_FRAMES = EMG_FRAMES_PER_SECOND * 30;
constexpr uint32_t HOLD_FRAMES = EMG_FRAMES_PER_SECOND * 2;
constexpr int RECORDINGS_PER_GESTURE = 5;

// 30 s of 8 channels as a user records a gesture: rest and hold in turns of 2 s.
std::vector<uint8_t> recordGesture(int gesture, uint32_t seed) {
    kv::sim::VirtualSubject subject(seed);
    std::vector<uint8_t> bytes(RECORDING_FRAMES * CHANNELS);
    for (uint32_t f = 0; f < RECORDING_FRAMES; ++f) {
        subject.setGesture((f / HOLD_FRAMES) % 2 == 1 ? gesture : 0);
        subject.nextFrame(0xFF, &bytes[f * CHANNELS]);
    }
    return bytes;
}

// Feature files of five recordings per gesture, written once for all runs.
void prepareFeatureFiles() {
    static bool prepared = false;
    if (prepared) return;
    for (int g = 1; g <= GESTURES; ++g) {
        for (int r = 0; r < RECORDINGS_PER_GESTURE; ++r) {
            const std::vector<uint8_t> bytes = recordGesture(g, static_cast<uint32_t>(100 * g + r));
            extractFeatures(std::to_string(g), bytes.data(), bytes.size(), CHANNELS);
        }
    }
    prepared = true;
}

void BM_ExtractFeatures(benchmark::State& state) {
    const std::vector<uint8_t> bytes = recordGesture(3, 7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(extractFeatures("bench", bytes.data(), bytes.size(), CHANNELS));
        state.PauseTiming();
        std::remove("featurebench.txt");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ExtractFeatures)->Unit(benchmark::kMillisecond);

void BM_TrainModel(benchmark::State& state) {
    prepareFeatureFiles();
    const FeatureMap features = loadFeatureFiles(GESTURES);
    size_t samples = 0;
    for (const auto& entry : features) samples += entry.second.size() / CHANNELS;
    for (auto _ : state) benchmark::DoNotOptimize(trainModel(GESTURES, CHANNELS));
    state.counters["samples"] = static_cast<double>(samples);
}
BENCHMARK(BM_TrainModel)->Unit(benchmark::kMillisecond);

void BM_IdentifyChunk(benchmark::State& state) {
    int32_t rows = 0;
    int32_t columns = 0;
    if (!readModelShape(rows, columns)) {
        prepareFeatureFiles();
        trainModel(GESTURES, CHANNELS);
    }
    IdentifyModel model;
    IdentifyState identifyState;
    int loaded;
    {
        RedirectStdout quiet;  // the model load logs three lines
        loaded = loadIdentifyModel(GESTURES * (GESTURES - 1) / 2, CHANNELS + 1, model, identifyState);
    }
    if (loaded != 0) {
        state.SkipWithError("no model");
        return;
    }

    // Chunks 65 frames apart over a recording, as the live stream cuts them.
    const std::vector<uint8_t> stream = recordGesture(5, 11);
    const size_t step = WINDOW_HALF_FRAMES * CHANNELS;
    const size_t chunkBytes = 2 * step;
    size_t position = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(identifyChunk(&stream[position], identifyState, model));
        position += step;
        if (position + chunkBytes > stream.size()) position = 0;
    }
}
BENCHMARK(BM_IdentifyChunk);

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::string dir = (std::filesystem::temp_directory_path() / "emg_model_bench_XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) return 1;
    std::filesystem::current_path(dir);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
    return 0;
}
