#pragma once

// Body of the identification thread: classifies the windows that arrive on
// identifyQueue and reports each change of answer to the clients. Never returns.
void identifyThread();
