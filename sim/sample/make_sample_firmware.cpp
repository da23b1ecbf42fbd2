// Writes the demo firmware: a small program image of our own, as TI-Text. For the
// Readwell layout: code at 0x2100, a lookup table above 64 KiB, the reset vector. With
// --classic, the same program for the 16-bit families (loggers, the Lumex): code at
// 0xC000 and the table below 64 KiB, which their four-digit loader addresses reach.
// usage: make_sample_firmware [--classic] OUT.txt
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Segment {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

void Words(std::vector<uint8_t>& out, std::initializer_list<uint16_t> words) {
    for (uint16_t w : words) {
        out.push_back(static_cast<uint8_t>(w & 0xFF));  // little-endian, as the CPU reads them
        out.push_back(static_cast<uint8_t>(w >> 8));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool classic = argc == 3 && std::string(argv[1]) == "--classic";
    if (argc != 2 && !classic) {
        std::fprintf(stderr, "usage: %s [--classic] OUT.txt\n", argv[0]);
        return 2;
    }
    const char* path = argv[argc - 1];
    const uint16_t start = classic ? 0xC000 : 0x2100;
    // Start-up: stack, watchdog off, LED pin as output, then blink with a delay loop.
    Segment code{start, {}};
    Words(code.bytes, {0x4031, 0x2400,           // mov #0x2400, SP
                       0x40B2, 0x5A80, 0x0120,   // mov #WDTPW|WDTHOLD, &WDTCTL
                       0xD3D2, 0x0022,           // bis.b #1, &P1DIR
                       0xE3D2, 0x0021,           // loop: xor.b #1, &P1OUT
                       0x403F, 0x5000,           // mov #0x5000, R15
                       0x831F,                   // delay: dec R15
                       0x23FE,                   // jnz delay
                       0x3FF9});                 // jmp loop
    const std::string banner = classic ? "Vornell demo firmware 2.00" : "Vornell Readwell demo firmware 2.00";
    code.bytes.insert(code.bytes.end(), banner.begin(), banner.end());
    code.bytes.push_back(0);  // an odd total: the last word is completed by the loader
    // A sine table, long enough to take several upload blocks.
    Segment table{classic ? 0xD000u : 0x10000u, {}};
    for (int i = 0; i < 700; ++i) {
        int phase = i % 64;
        int v = phase < 32 ? phase * 8 : (63 - phase) * 8;
        table.bytes.push_back(static_cast<uint8_t>(v));
    }
    std::FILE* out = std::fopen(path, "wb");
    if (!out) {
        std::perror(path);
        return 1;
    }
    for (const Segment& s : {code, table}) {
        std::fprintf(out, "@%04X\n", s.address);
        for (size_t i = 0; i < s.bytes.size(); ++i)
            std::fprintf(out, "%02X%c", s.bytes[i], (i % 16 == 15 || i + 1 == s.bytes.size()) ? '\n' : ' ');
    }
    std::fprintf(out, "@FFFE\n%02X %02X\nq\n", start & 0xFF, start >> 8);  // reset vector
    return std::fclose(out) == 0 ? 0 : 1;
}
