// Time of "quillmark explain" on each device named on the command line: the
// experiments on the device and the proof scenes on the model it names,
// probe start-up included, the devices taking turns round after round.
//
//   bench_explain [--rounds R] DEVICE...
//
// Prints one line per round and device: "DEVICE SECONDS MODEL".
#include "app/batch/batch_command.h"
#include "app/batch/settings_flags.h"
#include "app/explain/explanation.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace quillmark;

}  // namespace

int main(int argc, char** argv) {
    int rounds = 1;
    std::vector<std::string> devices;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--rounds" && i + 1 < argc)
            rounds = std::stoi(argv[++i]);
        else
            devices.push_back(argument);
    }
    if (devices.empty()) devices = {"llvmpipe"};
    for (int round = 0; round < rounds; ++round)
        for (const std::string& name : devices) {
            const Clock::time_point start = Clock::now();
            batch::BatchSettings settings;
            settings.device = name;
            settings.devices = {name};
            explain::Explanation e;
            std::string error;
            if (explain::ExplainDevice(settings, &e, &error) != batch::kExitSuccess) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
                return 1;
            }
            std::printf("%s %.2f %s\n", name.c_str(), std::chrono::duration<double>(Clock::now() - start).count(),
                        e.model.c_str());
            std::fflush(stdout);
        }
    return 0;
}
