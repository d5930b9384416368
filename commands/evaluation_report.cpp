#include "commands/evaluation_report.h"

#include <cstdarg>
#include <cstdio>

#include "core/json_text.h"
#include "platform/portable.h"

namespace {

void appendf(std::string& out, const char* format, ...) EMG_PRINTF_FORMAT(2, 3);

void appendf(std::string& out, const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    out += text;
}

std::string adviceText(const GestureEvaluation& gesture) {
    return "record gesture " + std::to_string(gesture.gesture) + " again";
}

}  // namespace

std::string evaluationText(const Evaluation& evaluation) {
    std::string out;
    appendf(out, "Held-out evaluation: %zu gestures, %u channels, %u folds\n\n", evaluation.gestures.size(),
            evaluation.channels, evaluation.folds);
    out += "gesture  windows  held-out  training\n";
    for (const GestureEvaluation& gesture : evaluation.gestures)
        appendf(out, "%7u  %7u  %7.1f%%  %7.1f%%\n", gesture.gesture, gesture.windows, 100.0 * gesture.heldOutAccuracy,
                100.0 * gesture.trainingAccuracy);

    out += "\nconfusion (rows: true gesture, columns: predicted gesture)\n    ";
    for (const GestureEvaluation& gesture : evaluation.gestures) appendf(out, " %6u", gesture.gesture);
    out += '\n';
    for (size_t k = 0; k < evaluation.gestures.size(); ++k) {
        appendf(out, "%4u", evaluation.gestures[k].gesture);
        for (uint32_t count : evaluation.confusion[k]) appendf(out, " %6u", count);
        out += '\n';
    }

    appendf(out, "\nmean held-out accuracy: %.1f%%\n", 100.0 * evaluation.meanHeldOutAccuracy);
    for (const GestureEvaluation& gesture : evaluation.gestures)
        if (gesture.confusedWith != 0)
            appendf(out, "gesture %u: %.1f%% held-out, mostly confused with gesture %u; %s\n", gesture.gesture,
                    100.0 * gesture.heldOutAccuracy, gesture.confusedWith, adviceText(gesture).c_str());
    return out;
}

std::string evaluationJson(const Evaluation& evaluation) {
    std::string out;
    appendf(out, "{\"state\":\"done\",\"channels\":%u,\"folds\":%u,\"gestures\":[", evaluation.channels,
            evaluation.folds);
    const char* separator = "";
    for (const GestureEvaluation& gesture : evaluation.gestures) {
        appendf(out, "%s{\"gesture\":%u,\"windows\":%u,\"heldOutAccuracy\":%.4f,\"trainingAccuracy\":%.4f}", separator,
                gesture.gesture, gesture.windows, gesture.heldOutAccuracy, gesture.trainingAccuracy);
        separator = ",";
    }
    out += "],\"confusion\":[";
    separator = "";
    for (const std::vector<uint32_t>& row : evaluation.confusion) {
        out += separator;
        out += '[';
        for (size_t m = 0; m < row.size(); ++m) appendf(out, "%s%u", m == 0 ? "" : ",", row[m]);
        out += ']';
        separator = ",";
    }
    appendf(out, "],\"meanHeldOutAccuracy\":%.4f,\"advice\":[", evaluation.meanHeldOutAccuracy);
    separator = "";
    for (const GestureEvaluation& gesture : evaluation.gestures) {
        if (gesture.confusedWith == 0) continue;
        appendf(out, "%s{\"gesture\":%u,\"heldOutAccuracy\":%.4f,\"confusedWith\":%u,\"message\":%s}", separator,
                gesture.gesture, gesture.heldOutAccuracy, gesture.confusedWith,
                jsonString(adviceText(gesture)).c_str());
        separator = ",";
    }
    return out + "]}";
}

std::string evaluationErrorJson(const std::string& error) {
    return "{\"state\":\"failed\",\"error\":" + jsonString(error) + "}";
}
