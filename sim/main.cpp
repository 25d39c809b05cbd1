// pellor-sim: the stand-in note-taker on a serial port.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/SimDevice.h"
#include "sim/SimSerialLink.h"

namespace {

const char kUsage[] =
    "usage: pellor-sim --root DIR [--port COM6] [--baud 115200] [--model 5] [--firmware 1.2] [--seconds N] [--trace]\n"
    "  Answers as a braille note-taker on the serial port, serving DIR\\R as drive R:,\n"
    "  DIR\\F as drive F: and the files of DIR\\special as special root entries.\n"
    "  --baud      the one rate it listens at: 115200, 38400, 19200 or 9600\n"
    "  --model     model number 1..11 (5 is Corvanx)\n"
    "  --firmware  1.0 legacy, 1.1 VARDEN, any other major.minor names itself (1.2 and up can rename)\n"
    "  --seconds   stop after this long (default: run until killed)\n"
    "  --trace     print a line for every command, transfer and stray byte run\n"
    "  --fault F   misbehave in the files it sends, for tests of the PC side (repeatable):\n"
    "              no-size (block 0 without size), skip-block (1, then 3), vanish=N (fall\n"
    "              silent for good after N data blocks), slow=MS (pause before each block),\n"
    "              after-command (acknowledge the send command, then fall silent for good),\n"
    "              empty-batch (close the batch at once instead of sending the file)\n";

struct Options {
    std::string port = "COM6";
    SimConfig config;
    SimFaults faults;
    unsigned seconds = 0;
};

bool ParseFault(const std::string& fault, SimSendFaults& f)
{
    const size_t equals = fault.find('=');
    const std::string name = fault.substr(0, equals);
    const int value = equals == std::string::npos ? -1 : atoi(fault.c_str() + equals + 1);
    if (name == "no-size") f.noSize = true;
    else if (name == "skip-block") f.skipBlock = true;
    else if (name == "vanish" && value >= 0) f.blocksLeft = value;
    else if (name == "slow" && value >= 0) f.blockDelayMs = static_cast<unsigned>(value);
    else if (name == "after-command") f.silentAfterCommand = true;
    else if (name == "empty-batch") f.emptyBatch = true;
    else return false;
    return true;
}

bool ParseFirmware(const char* text, SimConfig& config)
{
    unsigned major = 0, minor = 0;
    if (sscanf(text, "%u.%u", &major, &minor) != 2 || major > 255 || minor > 255) return false;
    const unsigned version = major << 8 | minor;
    config.generation = version == 0x0100   ? SimConfig::LEGACY
                        : version == 0x0101 ? SimConfig::VARDEN
                                            : SimConfig::IDENT2;
    config.major = static_cast<uint8_t>(major);
    config.minor = static_cast<uint8_t>(minor);
    return version >= 0x0100;
}

bool Parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--trace") {
            o.config.trace = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (arg == "--port") o.port = value;
        else if (arg == "--baud") o.config.baud = static_cast<uint32_t>(strtoul(value, nullptr, 10));
        else if (arg == "--model") o.config.model = static_cast<uint8_t>(strtoul(value, nullptr, 10));
        else if (arg == "--firmware") {
            if (!ParseFirmware(value, o.config)) return false;
        } else if (arg == "--root") o.config.root = value;
        else if (arg == "--seconds") o.seconds = static_cast<unsigned>(strtoul(value, nullptr, 10));
        else if (arg == "--fault") {
            if (!ParseFault(value, o.faults.send)) return false;
        } else return false;
    }
    const uint32_t b = o.config.baud;
    return !o.config.root.empty() && o.config.model >= 1 && o.config.model <= 11 &&
           (b == 115200 || b == 38400 || b == 19200 || b == 9600);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (!Parse(argc, argv, options)) {
        fputs(kUsage, stderr);
        return 2;
    }
    SimSerialLink link;
    if (!link.Open(options.port, options.config.baud)) {
        fprintf(stderr, "pellor-sim: cannot open %s (Windows error %lu)\n", options.port.c_str(), GetLastError());
        return 1;
    }
    SimDevice device(link, options.config);
    device.SetFaults(options.faults);
    printf("pellor-sim: model %u (%s), firmware %u.%u, %s at %u baud, root %s\n", options.config.model,
           SimDevice::ModelName(options.config.model), options.config.major, options.config.minor, options.port.c_str(),
           options.config.baud, options.config.root.c_str());
    fflush(stdout);
    device.Start();
    const DWORD start = GetTickCount();
    while (options.seconds == 0 || GetTickCount() - start < options.seconds * 1000) Sleep(100);
    device.Stop();
    return 0;
}
