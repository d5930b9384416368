// Per-chunk identification: offset tracking, idle/active detection, pairwise vote
// and smoothing. Works in fixed storage only; nothing is allocated per chunk.
#include "model/identify.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float WINDOW_FRAMES_F = static_cast<float>(WINDOW_FRAMES);
constexpr float INITIAL_OFFSET[MAX_CHANNELS] = {123.69f, 122.67f, 122.28f, 122.02f, 122.14f, 122.17f, 122.2f, 121.8f};

// Offset-free window y[f][c], frame-major, in the caller's storage.
struct Window {
    float y[WINDOW_FRAMES * MAX_CHANNELS];
};

// Builds y from the stored half and the new half, and moves the offsets halfway
// towards this window's channel means.
void removeOffsets(const uint8_t* chunk, uint32_t channels, IdentifyState& state, Window& window) {
    const uint32_t half = channels * WINDOW_HALF_FRAMES;
    for (uint32_t c = 0; c < channels; ++c) {
        float sum = 0.0f;
        for (uint32_t f = 0; f < WINDOW_FRAMES; ++f) {
            const uint32_t index = f * channels + c;
            const uint8_t x = index < half ? state.storedHalf[index] : chunk[index - half];
            window.y[index] = static_cast<float>(x) - state.offset[c];
            sum = sum + static_cast<float>(x);
        }
        state.offset[c] = (sum / WINDOW_FRAMES_F) * 0.5f + state.offset[c] * 0.5f;
    }
}

// Mean absolute value and variance of the channel-sum signal; updates the
// variance pair that drives idle detection.
void trackActivity(const Window& window, uint32_t channels, IdentifyState& state) {
    float channelSum[WINDOW_FRAMES];
    for (uint32_t f = 0; f < WINDOW_FRAMES; ++f) {
        float sum = 0.0f;
        for (uint32_t c = 0; c < channels; ++c) sum = sum + window.y[f * channels + c];
        channelSum[f] = sum;
    }
    float absoluteSum = 0.0f;
    float sum = 0.0f;
    for (uint32_t f = 0; f < WINDOW_FRAMES; ++f) {
        absoluteSum = absoluteSum + std::fabs(channelSum[f]);
        sum = sum + channelSum[f];
    }
    const float mav = absoluteSum / WINDOW_FRAMES_F;
    const float mean = sum / WINDOW_FRAMES_F;
    float squares = 0.0f;
    for (uint32_t f = 0; f < WINDOW_FRAMES; ++f) {
        const float d = channelSum[f] - mean;
        squares = squares + d * d;
    }
    const float variance = squares / WINDOW_FRAMES_F;

    if (state.lastMav != 0.0f) state.prevVar = state.curVar;
    state.lastMav = mav;
    state.curVar = variance;
}

bool activityStarts(const IdentifyState& state) {
    return (state.curVar / state.prevVar > 4.0f && state.curVar > 100.0f) ||
           (state.prevVar > 200.0f && state.curVar > 200.0f);
}

// Accumulates each channel's mean absolute value onto the value it kept.
void updateChannelFeatures(const Window& window, uint32_t channels, IdentifyState& state) {
    for (uint32_t c = 0; c < channels; ++c) {
        float accumulator = state.channelMav[c];
        for (uint32_t f = 0; f < WINDOW_FRAMES; ++f) accumulator = accumulator + std::fabs(window.y[f * channels + c]);
        state.channelMav[c] = accumulator / WINDOW_FRAMES_F;
    }
}

// The newest class when it repeats one of the two before, else the older
// agreement, else 0.
int32_t smoothedAnswer(const int32_t history[3]) {
    const int32_t h2 = history[0];
    const int32_t h1 = history[1];
    const int32_t h0 = history[2];
    if (h0 == h2 || h0 == h1) return h0;
    if (h2 == h1) return h1;
    return 0;
}

int classifyActiveWindow(const Window& window, IdentifyState& state, const IdentifyModel& model) {
    updateChannelFeatures(window, model.channels, state);

    state.history[0] = state.history[1];
    state.history[1] = state.history[2];
    state.history[2] = voteClass(state.channelMav, model);

    const int32_t answer = smoothedAnswer(state.history);
    if (answer >= 1) state.tally[answer] += 1;

    uint32_t top = 0;
    int32_t dominant = 0;
    for (int32_t k = 1; k <= model.gestures; ++k) {
        if (dominant == 0 || state.tally[k] >= top) {
            top = state.tally[k];
            dominant = k;
        }
    }
    const int result = top < 3 ? answer : dominant;

    state.activeCount += 1;
    if (state.activeCount >= 3 && state.prevVar < 200.0f && state.curVar < 200.0f) {
        state.idle = true;
        for (int32_t k = 1; k <= model.gestures; ++k) state.tally[k] = 0;
        state.history[0] = state.history[1] = state.history[2] = 0;
    }
    return result;
}

}  // namespace

void resetIdentifyState(IdentifyState& state) {
    state = IdentifyState{};
    std::memcpy(state.offset, INITIAL_OFFSET, sizeof state.offset);
}

int identifyChunk(const uint8_t* chunk, IdentifyState& state, const IdentifyModel& model) {
    // Only a loaded model (see modelShapeUsable) can be evaluated within the fixed arrays.
    if (model.channels < 1 || model.channels > MAX_CHANNELS || model.gestures < 2 || model.gestures > MAX_GESTURES)
        return 0;

    const uint32_t channels = model.channels;
    const uint32_t half = channels * WINDOW_HALF_FRAMES;
    if (!state.primed) {
        std::memcpy(state.storedHalf, chunk, half);
        state.primed = true;
        return 0;
    }

    Window window;
    removeOffsets(chunk, channels, state, window);
    trackActivity(window, channels, state);

    int result = 0;
    if (state.idle) {
        state.activeCount = 0;
        if (activityStarts(state)) state.idle = false;
    } else {
        result = classifyActiveWindow(window, state, model);
    }
    std::memcpy(state.storedHalf, chunk, half);
    return result;
}

int32_t voteClass(const float* features, const IdentifyModel& model) {
    uint32_t votes[MAX_GESTURES] = {};
    const PairRecord* pair = model.pairs;
    for (uint32_t i = 0; i < model.gestures; ++i) {
        for (uint32_t j = i + 1; j < model.gestures; ++j, ++pair) {
            float d = pair->bias;
            for (uint32_t c = 0; c < model.channels; ++c) d = pair->w[c] * features[c] + d;
            ++votes[d < 0.0f ? j : i];
        }
    }
    uint32_t best = 0;
    for (uint32_t k = 1; k < model.gestures; ++k)
        if (votes[k] >= votes[best]) best = k;
    return static_cast<int32_t>(best) + 1;
}

uint8_t gestureForClass(int classNumber, uint8_t gestureMask) {
    if (classNumber < 1 || classNumber > static_cast<int>(MAX_GESTURES)) return NO_GESTURE;
    int seen = 0;
    for (uint32_t bit = 0; bit < MAX_GESTURES; ++bit) {
        if ((gestureMask >> bit) & 1) {
            if (++seen == classNumber) return static_cast<uint8_t>(bit + 1);
        }
    }
    return NO_GESTURE;
}
