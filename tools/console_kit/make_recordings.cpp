// Writes prepared recordings for the browser tests and the console benchmark:
// rawN.bin for each gesture N given, 30 s of the virtual subject at 8
// channels, holding N for 3 s and resting for 2 s in turn, as a person records.
//   console_recordings DIR GESTURE...
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/data_files.h"
#include "core/emg_geometry.h"
#include "sim/virtual_subject.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: console_recordings DIR GESTURE...\n");
        return 2;
    }
    constexpr int FRAME_RATE = EMG_FRAMES_PER_SECOND;
    constexpr int CHANNELS = 8;
    kv::sim::VirtualSubject subject(2024);
    for (int i = 2; i < argc; ++i) {
        const int gesture = std::atoi(argv[i]);
        std::string bytes(30 * FRAME_RATE * CHANNELS, '\0');
        for (int f = 0; f < 30 * FRAME_RATE; ++f) {
            subject.setGesture((f % (5 * FRAME_RATE)) < 3 * FRAME_RATE ? gesture : 0);
            subject.nextFrame(0xFF, reinterpret_cast<uint8_t*>(&bytes[static_cast<size_t>(f) * CHANNELS]));
        }
        const std::string path = std::string(argv[1]) + "/" + rawFileName(static_cast<unsigned>(gesture));
        if (!(std::ofstream(path, std::ios::binary) << bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
