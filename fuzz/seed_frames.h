// Real request frames, built the way the link builds them, and the simulated
// unit's replies to them: the material the frame seeds are made of.
#pragma once
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/requests.h"
#include "sim/sim_unit.h"

// Request texts the program sends (reads, writes, commands, the any-unit probe).
inline std::vector<std::string> SeedRequestTexts() {
    std::vector<std::string> texts = {
        "9999rgadd;;",
        AnyUnitProbeRequest(),
        "0001r1loc;;",   "0001r1pkt;;",   "0001reloc;;",    "0001r1snr;;",   "0001r1mer;;",
        "0001r1cer;;",   "0001r1dnr;;",   "0001r1ina;;",    "0001r1inb;;",   "0001r1inc;;",
        "0001r1ind;;",   "0001rgudm;;",   "0001rdlas;;",    "0001r1ipf;;",   "0001r1dco;;",
        "0001r1los;;",   "0001redef;;",   "0001rzdes;;",    "0001rgmod;;",   "0001rgrea;;",
        "0001wgmod;1;",  "0001wgmod;8;",  "0001w1ipf;1.234000;", "0001w1dco;10.750000;",
        "0001w1los;1;",  "0001wdsto;3;",  "0001wdloa;2;",   "0001wgadd;0042;", "0001wedef;Service one;",
        "0001wzaes;00112233445566778899AABBCCDDEEFF;",
        "0001wxxxx;;",   "0001rqqqq;;",
    };
    return texts;
}

inline std::vector<std::string> SeedRequestFrames() {
    std::vector<std::string> frames;
    for (const std::string& text : SeedRequestTexts()) {
        std::string frame;
        if (BuildRequestFrame(text, frame)) frames.push_back(frame);
    }
    return frames;
}

// The simulated unit's answers to the requests above (those it answers), plus
// hand-built replies of both status characters.
inline std::vector<std::string> SeedReplyFrames() {
    std::vector<std::string> replies;
    sim::SimOptions options;
    options.serial = false;
    options.restartMs = 0;
    options.drift = false;
    sim::SimUnit unit(options);
    for (const std::string& frame : SeedRequestFrames()) {
        std::string reply = unit.HandleFrame(frame);
        if (!reply.empty()) replies.push_back(reply);
    }
    replies.push_back(sim::BuildReplyFrame(1, '1', "17"));
    replies.push_back(sim::BuildReplyFrame(1, 'E', ""));
    replies.push_back(sim::BuildReplyFrame(1, '1', "192.168.1.20"));
    replies.push_back(sim::BuildReplyFrame(42, '1', "0.000000"));
    return replies;
}
