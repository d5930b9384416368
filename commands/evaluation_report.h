// The held-out evaluation as text for a person and as one JSON object.
#pragma once

#include <string>

#include "model/evaluation.h"

// Per gesture: windows, held-out and training accuracy; the confusion matrix; the
// mean held-out accuracy; and the advice for every gesture under 80 %.
std::string evaluationText(const Evaluation& evaluation);

// The same as {"state":"done", ...} on one line; accuracies are fractions 0..1.
std::string evaluationJson(const Evaluation& evaluation);

// {"state":"failed","error":...} for an evaluation that could not run.
std::string evaluationErrorJson(const std::string& error);
