#pragma once

// Asks for an orderly end from any thread: logs and queues EXIT_EVT.
void exitApplication();
