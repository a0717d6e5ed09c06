// Reading the cue trace and matching cues against expectations.
#include "sim/expect.h"

#include <cmath>
#include <cstdio>

namespace sim {

std::string RecordingWord(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.size() <= 4 || base.compare(base.size() - 4, 4, ".wav") != 0) return "";
    base.resize(base.size() - 4);
    if (!base.empty() && base.back() == '2') base.pop_back();
    return base;
}

TraceLine ClassifyTraceLine(const std::string& line) {
    TraceLine t;
    t.text = line;
    if (line.compare(0, 4, "run ") == 0) {
        t.kind = TraceLine::kRun;
    } else if (line.compare(0, 4, "cue ") == 0) {
        const size_t kindEnd = line.find(' ', 4);
        t.kind = TraceLine::kCue;
        t.cueKind = line.substr(4, kindEnd == std::string::npos ? std::string::npos : kindEnd - 4);
        if (kindEnd != std::string::npos) {
            const size_t pathEnd = line.find(' ', kindEnd + 1);
            t.cuePath = line.substr(kindEnd + 1, pathEnd == std::string::npos ? std::string::npos : pathEnd - kindEnd - 1);
        }
    }
    return t;
}

void TraceReader::Feed(const std::string& bytes) {
    pending_ += bytes;
    size_t start = 0;
    for (size_t nl = pending_.find('\n'); nl != std::string::npos; nl = pending_.find('\n', start)) {
        lines_.push_back(ClassifyTraceLine(pending_.substr(start, nl - start)));
        start = nl + 1;
    }
    pending_.erase(0, start);
}

std::vector<TraceLine> TraceReader::Take() {
    std::vector<TraceLine> out;
    out.swap(lines_);
    return out;
}

namespace {

std::string Seconds(double t) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.2f", t);
    return buf;
}

bool Fits(const Expectation& e, const Cue& c) {
    if (e.kind != c.kind) return false;
    if (!e.word.empty() && e.word != c.word) return false;
    if (e.timed && std::fabs(c.time - e.time) > e.within + 1e-6) return false;
    return true;
}

}  // namespace

std::string DescribeExpectation(const Expectation& e) {
    std::string s = e.kind + (e.any ? "*" : "");
    if (!e.word.empty()) s += " " + e.word;
    if (e.timed) s += " at " + Seconds(e.time) + " s (within " + Seconds(e.within) + ")";
    return s;
}

std::string DescribeCue(const Cue& c) {
    std::string s = c.kind;
    if (!c.word.empty()) s += " " + c.word;
    return s + " at " + Seconds(c.time) + " s";
}

bool MatchExpectations(const Scenario& scenario, const std::vector<Cue>& cues, std::vector<std::string>* report) {
    report->clear();
    const std::vector<Expectation>& e = scenario.expectations;
    const size_t m = e.size();
    const size_t n = cues.size();
    std::string got = "got:";
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
    // " " + text + "," at -O3.
    for (const Cue& c : cues) {
        got += ' ';
        got += DescribeCue(c);
        got += ',';
    }
    if (n == 0) got += " no call-out";
    else got.pop_back();

    if (scenario.expectNone) {
        report->push_back("expected: no call-out");
        report->push_back(got);
        if (n) report->push_back("mismatch: " + DescribeCue(cues[0]) + " where none was expected");
        return n == 0;
    }
    std::string want = "expected:";
    for (const Expectation& x : e) {
        want += ' ';
        want += DescribeExpectation(x);
        want += ',';
    }
    if (m == 0) want += " (nothing given)";
    else want.pop_back();
    report->push_back(want);
    report->push_back(got);

    // reach[i][j]: the first i expectations take exactly the first j cues.
    std::vector<std::vector<char>> reach(m + 1, std::vector<char>(n + 1, 0));
    reach[0][0] = 1;
    for (size_t i = 0; i <= m; ++i) {
        for (size_t j = 0; j <= n; ++j) {
            if (!reach[i][j]) continue;
            if (i < m && e[i].any) {
                reach[i + 1][j] = 1;  // none (more) of this kind
                if (j < n && Fits(e[i], cues[j])) reach[i][j + 1] = 1;
            } else if (i < m && j < n && Fits(e[i], cues[j])) {
                reach[i + 1][j + 1] = 1;
            }
        }
    }
    if (reach[m][n]) return true;

    // Where they part: the most cues explained, and with them the most
    // expectations.
    size_t bi = 0, bj = 0;
    for (size_t j = 0; j <= n; ++j)
        for (size_t i = 0; i <= m; ++i)
            if (reach[i][j] && (j > bj || (j == bj && i > bi))) bi = i, bj = j;
    while (bi < m && e[bi].any && reach[bi + 1][bj]) ++bi;
    std::string where;
    if (bi < m && bj < n) {
        where = "mismatch: call-out " + std::to_string(bj + 1) + " was " + DescribeCue(cues[bj]) + ", but line " +
                std::to_string(e[bi].line) + " expects " + DescribeExpectation(e[bi]);
    } else if (bi < m) {
        where = "mismatch: no call-out for line " + std::to_string(e[bi].line) + ", which expects " +
                DescribeExpectation(e[bi]);
    } else {
        where = "mismatch: call-out " + std::to_string(bj + 1) + ", " + DescribeCue(cues[bj]) +
                ", comes after everything expected";
    }
    report->push_back(where);
    return false;
}

}  // namespace sim
