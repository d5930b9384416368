// The live signal for watching consoles: while the server is idle, the raw EMG
// stream runs as long as a console watches a connected, configured armband.
#pragma once

// Switches the armband's raw stream on or off to match the watchers. Runs on
// the main thread after every event record, so that a recording or an
// identification that ends hands the stream back to the watchers. Outside
// the idle mode the stream belongs to that mode and is left alone.
void updateWatchStream();
