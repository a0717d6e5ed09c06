// The scenario tests' run directories, program start and adapter.
#include "support.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace scenarios {

namespace fs = std::filesystem;

std::vector<std::string> ShippedScenarios() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(FLANKGUARD_SCENARIO_DIR, ec)) {
        if (entry.path().extension() == ".scn") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ScenarioPath(const std::string& name) {
    return std::string(FLANKGUARD_SCENARIO_DIR) + "/" + name + ".scn";
}

RunDir::RunDir() {
    std::error_code ec;
    fs::create_directories(FLANKGUARD_SCENARIO_RUN_DIR, ec);
    std::string pattern = std::string(FLANKGUARD_SCENARIO_RUN_DIR) + "/XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    path_ = fs::canonical(pattern).string();
    fs::create_directory(path_ + "/spotter", ec);
    for (const auto& entry : fs::directory_iterator(FLANKGUARD_VOICE_DIR, ec)) {
        if (entry.path().extension() == ".wav")
            fs::copy_file(entry.path(), path_ + "/spotter/" + entry.path().filename().string(), ec);
    }
}

RunDir::~RunDir() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

bool RunDir::WriteConfig(unsigned destPort, unsigned srcPort, const std::string& extraMain) const {
    if (path_.empty()) return false;
    std::ofstream cfg(path_ + "/spotter/config.cfg");
    cfg << "[main]\naddress=127.0.0.1\ndestPort=" << destPort << "\nsrcPort=" << srcPort << "\nautorunLFS=0\n"
        << extraMain << "[spotting]\n";
    return cfg.good();
}

bool TracedProgram::Start(unsigned simPort, std::string* error, const std::string& extraMain) {
    srcPort = e2e::FreeUdpPort();
    if (srcPort == 0 || !dir.WriteConfig(simPort, srcPort, extraMain)) {
        *error = "no run directory or port";
        return false;
    }
    program.extraEnv = {"FLANKGUARD_TRACE=1", "AUDIODEV=null"};
    return program.Start(FLANKGUARD_EXE, dir.Path(), error);
}

void ProgramAdapter::Read(std::string* console, std::string* trace) {
    program_.Drain();
    const std::string& out = program_.Stdout();
    const std::string& err = program_.Stderr();
    if (out.size() > outSeen_) console->append(out, outSeen_, std::string::npos);
    if (err.size() > errSeen_) trace->append(err, errSeen_, std::string::npos);
    outSeen_ = out.size();
    errSeen_ = err.size();
}

sim::RunOptions QuickOptions(double speed, std::string* timeline) {
    sim::RunOptions o;
    o.speed = speed;
    o.connectTimeoutMs = 10000;
    o.print = [timeline](const std::string& line) { *timeline += line + "\n"; };
    return o;
}

std::vector<std::string> KindsAndWords(const std::vector<sim::Cue>& cues) {
    std::vector<std::string> out;
    for (const sim::Cue& c : cues) out.push_back(c.kind + "/" + c.word);
    return out;
}

}  // namespace scenarios
