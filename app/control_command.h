// `emgbridge control [--port N] LINE...`: sends each line to the virtual
// armband's control endpoint and prints each answer.
#pragma once

// argv[0] is "control". Exit code 0 when every answer is "ok…", 1 on an
// "error" answer or no endpoint, 2 on bad options.
int runControlCommand(int argc, char** argv);
