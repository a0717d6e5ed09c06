// The scenario parser: one directive per line, words separated by blanks,
// "double quotes" around words with blanks, '#' to the end of the line a
// comment. Every fault is reported with its line; nothing is guessed.
#include "sim/scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/packets.h"

namespace sim {

const char* const kCueKindNames[7] = {"CarRight", "CarLeft", "Clear", "ClearRight", "ClearLeft", "Middle", "StillThere"};

bool IsCueKind(const std::string& name) {
    for (const char* k : kCueKindNames)
        if (name == k) return true;
    return false;
}

unsigned SpeedUnits(double kmh) {
    const double units = std::round(kmh / 3.6 / 100.0 * 32768.0);
    if (!(units > 0)) return 0;
    return units > 65535 ? 65535u : static_cast<unsigned>(units);
}

unsigned AngleUnits(double degrees) {
    double d = std::fmod(degrees, 360.0);
    if (d < 0) d += 360.0;
    // 360 degrees are 65520 units: what rounds up to a whole turn is 0.
    const double units = std::round(d * 182.0);
    return static_cast<unsigned>(units) % 65520u;
}

namespace {

const size_t kMaxErrors = 20;
const size_t kMaxModelName = 35;  // NPL field of 36 bytes with its NUL
const size_t kMaxPlayerName = 31;  // 32 bytes with its NUL
const size_t kMaxTrack = 5;

// The words of the recordings (file names without a trailing "2").
const char* const kWords[] = {"left",  "right",    "inside",  "outside",   "clear",     "middle",
                              "clearin", "clearout", "clearleft", "clearright", "stillthere"};

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits a line into words; false with *error on an unterminated quote.
bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token t;
        if (c == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                *error = "unterminated quote";
                return false;
            }
            t.text = line.substr(i + 1, close - i - 1);
            t.quoted = true;
            i = close + 1;
            if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#') {
                *error = "a quoted word must be followed by a blank";
                return false;
            }
        } else {
            const size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\v' &&
                   line[i] != '\f' && line[i] != '#' && line[i] != '"')
                ++i;
            t.text = line.substr(start, i - start);
        }
        tokens->push_back(t);
    }
    return true;
}

// A plain decimal number: optional sign, digits with an optional fraction.
bool ParseNumber(const std::string& s, double* v) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    if (digits == 0 || i != s.size() || digits > 30) return false;
    *v = strtod(s.c_str(), nullptr);
    return std::isfinite(*v);
}

bool ParseInt(const std::string& s, long lo, long hi, long* v) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i == s.size() || s.size() - i > 9) return false;
    for (size_t j = i; j < s.size(); ++j)
        if (s[j] < '0' || s[j] > '9') return false;
    const long n = strtol(s.c_str(), nullptr, 10);
    if (n < lo || n > hi) return false;
    *v = n;
    return true;
}

std::string Fmt(double v) {
    char buf[64];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// The words of one line with a cursor; the first fault is kept.
class Line {
public:
    Line(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    void Fail(const std::string& message) {
        if (error_.empty()) error_ = message;
    }
    bool AtEnd() const { return pos_ >= t_.size(); }
    // The next word, unquoted, when it equals `word`: consumed.
    bool Take(const char* word) {
        if (!Ok() || AtEnd() || t_[pos_].quoted || t_[pos_].text != word) return false;
        ++pos_;
        return true;
    }
    // The next word as text; `what` names it in the message when missing.
    bool Word(const char* what, std::string* out) {
        if (!Ok()) return false;
        if (AtEnd()) {
            Fail(std::string("missing ") + what);
            return false;
        }
        *out = t_[pos_++].text;
        return true;
    }
    bool Number(const char* what, double* out) {
        std::string w;
        if (!Word(what, &w)) return false;
        if (!ParseNumber(w, out)) {
            Fail(std::string(what) + " must be a number, not '" + w + "'");
            return false;
        }
        return true;
    }
    bool NumberIn(const char* what, double lo, double hi, double* out) {
        if (!Number(what, out)) return false;
        if (*out < lo || *out > hi) {
            Fail(std::string(what) + " must lie between " + Fmt(lo) + " and " + Fmt(hi) + ", not " + Fmt(*out));
            return false;
        }
        return true;
    }
    bool Int(const char* what, long lo, long hi, long* out) {
        std::string w;
        if (!Word(what, &w)) return false;
        if (!ParseInt(w, lo, hi, out)) {
            Fail(std::string(what) + " must be a whole number from " + std::to_string(lo) + " to " +
                 std::to_string(hi) + ", not '" + w + "'");
            return false;
        }
        return true;
    }
    // Everything left, joined by blanks.
    std::string Rest() {
        std::string s;
        for (; pos_ < t_.size(); ++pos_) {
            if (!s.empty()) s += ' ';
            s += t_[pos_].text;
        }
        return s;
    }
    void ExpectEnd() {
        if (Ok() && !AtEnd()) Fail("unexpected '" + t_[pos_].text + "'");
    }

private:
    std::vector<Token> t_;
    size_t pos_ = 0;
    std::string error_;
};

const double kMaxTime = 3600;     // seconds
const double kMaxSpeed = 719;     // km/h: the MCI's speed field holds up to ~720
const double kMaxDistance = 30000;  // metres

// "at X Y" or "rel ALONG LATERAL"; false when neither is next.
bool Position(Line& l, bool* relative, double* x, double* y) {
    if (l.Take("at")) *relative = false;
    else if (l.Take("rel")) *relative = true;
    else return false;
    l.NumberIn(*relative ? "along" : "x", -kMaxDistance, kMaxDistance, x);
    l.NumberIn(*relative ? "lateral" : "y", -kMaxDistance, kMaxDistance, y);
    return true;
}

struct CarSpec {
    long first = 0, last = 0;
    ScenarioCar car;
    bool positioned = false;
    double spacedAlong = 0, spacedLateral = 0;
};

void ParseCar(Line& l, int lineNo, CarSpec* carSpec) {
    std::string range;
    if (!l.Word("car index", &range)) return;
    const size_t dots = range.find("..");
    const std::string a = dots == std::string::npos ? range : range.substr(0, dots);
    const std::string b = dots == std::string::npos ? range : range.substr(dots + 2);
    if (!ParseInt(a, 0, kMaxScenarioCars - 1, &carSpec->first) || !ParseInt(b, 0, kMaxScenarioCars - 1, &carSpec->last)) {
        l.Fail("car index must be a number from 0 to " + std::to_string(kMaxScenarioCars - 1) +
               " or a range like 2..31, not '" + range + "'");
        return;
    }
    if (carSpec->last < carSpec->first) {
        l.Fail("car range '" + range + "' runs backwards");
        return;
    }
    ScenarioCar& car = carSpec->car;
    car.line = lineNo;
    if (!l.Word("car model (for example \"XF GTI\")", &car.model)) return;
    if (car.model.empty() || car.model.size() > kMaxModelName) {
        l.Fail("car model must have 1 to " + std::to_string(kMaxModelName) + " characters");
        return;
    }
    bool spaced = false;
    while (l.Ok() && !l.AtEnd()) {
        if (Position(l, &car.relative, &car.x, &car.y)) {
            if (carSpec->positioned) l.Fail("two positions for one car");
            carSpec->positioned = true;
        } else if (l.Take("speed")) {
            l.NumberIn("speed", 0, kMaxSpeed, &car.speed);
            car.hasSpeed = true;
        } else if (l.Take("heading")) {
            l.NumberIn("heading", -360, 360, &car.heading);
            car.hasHeading = true;
        } else if (l.Take("name")) {
            l.Word("player name", &car.name);
            if (car.name.size() > kMaxPlayerName)
                l.Fail("player name must have at most " + std::to_string(kMaxPlayerName) + " characters");
        } else if (l.Take("spaced")) {
            l.NumberIn("spacing along", -1000, 1000, &carSpec->spacedAlong);
            l.NumberIn("spacing lateral", -1000, 1000, &carSpec->spacedLateral);
            spaced = true;
        } else {
            std::string w;
            l.Word("", &w);
            l.Fail("unknown car option '" + w + "' (expected at, rel, speed, heading, name or spaced)");
        }
    }
    if (spaced && carSpec->first == carSpec->last) l.Fail("'spaced' needs a range of cars, like 2..31");
}

void ParseEvent(Line& l, int lineNo, ScenarioEvent* ev) {
    ev->line = lineNo;
    if (!l.NumberIn("event time", 0, kMaxTime, &ev->time)) return;
    if (l.Take("restart")) {
        ev->kind = EventKind::Restart;
        l.ExpectEnd();
        return;
    }
    if (l.Take("packet")) {
        ev->kind = EventKind::Packet;
        if (!l.Word("packet kind", &ev->packetId)) return;
        if (ev->packetId == "RST") l.Fail("a race restart is written 'restart'");
        else if (AckedLength(ev->packetId.c_str()) == 0 || ev->packetId.size() != 3)
            l.Fail("packet kind must be one of LAP NCN CNL PLP PLL CPR REN CLR SPX RES REO, not '" + ev->packetId +
                   "'");
        l.ExpectEnd();
        return;
    }
    if (!l.Take("car")) {
        std::string w;
        if (l.Word("event (car, restart or packet)", &w))
            l.Fail("unknown event '" + w + "' (expected car, restart or packet)");
        return;
    }
    long car = 0;
    if (!l.Int("car index", 0, kMaxScenarioCars - 1, &car)) return;
    ev->car = static_cast<int>(car);
    std::string action;
    if (!l.Word("action (lane, speed, brake, heading, spin, pit or place)", &action)) return;
    if (action == "lane") {
        ev->kind = EventKind::Lane;
        l.NumberIn("lateral move", -100, 100, &ev->value);
        ev->duration = 2;
        if (l.Take("over")) l.NumberIn("duration", 0, kMaxTime, &ev->duration);
    } else if (action == "speed" || action == "brake") {
        ev->kind = EventKind::Speed;
        ev->brake = action == "brake";
        l.NumberIn("speed", 0, kMaxSpeed, &ev->value);
        if (l.Take("over")) l.NumberIn("duration", 0, kMaxTime, &ev->duration);
    } else if (action == "heading") {
        ev->kind = EventKind::Heading;
        l.NumberIn("heading", -360, 360, &ev->value);
        if (l.Take("over")) l.NumberIn("duration", 0, kMaxTime, &ev->duration);
    } else if (action == "spin") {
        ev->kind = EventKind::Spin;
        long angVel = 0;
        l.Int("angVel", -32768, 32767, &angVel);
        ev->value = static_cast<double>(angVel);
        ev->duration = 1;
        if (l.Take("for")) l.NumberIn("duration", 0, kMaxTime, &ev->duration);
    } else if (action == "pit") {
        ev->kind = EventKind::Pit;
        ev->value = 20;
        ev->duration = 3;
        if (l.Take("over")) {
            l.NumberIn("duration", 0, kMaxTime, &ev->duration);
        } else if (!l.AtEnd()) {
            l.NumberIn("pit speed", 0, kMaxSpeed, &ev->value);
            if (l.Take("over")) l.NumberIn("duration", 0, kMaxTime, &ev->duration);
        }
    } else if (action == "place") {
        ev->kind = EventKind::Place;
        bool positioned = false;
        while (l.Ok() && !l.AtEnd()) {
            if (Position(l, &ev->relative, &ev->x, &ev->y)) {
                if (positioned) l.Fail("two positions for one place");
                positioned = true;
            } else if (l.Take("speed")) {
                l.NumberIn("speed", 0, kMaxSpeed, &ev->speed);
                ev->hasSpeed = true;
            } else if (l.Take("heading")) {
                l.NumberIn("heading", -360, 360, &ev->heading);
                ev->hasHeading = true;
            } else {
                std::string w;
                l.Word("", &w);
                l.Fail("unknown place option '" + w + "' (expected at, rel, speed or heading)");
            }
        }
        if (l.Ok() && !positioned) l.Fail("place needs a position: at X Y or rel ALONG LATERAL");
    } else {
        l.Fail("unknown action '" + action + "' (expected lane, speed, brake, heading, spin, pit or place)");
    }
    l.ExpectEnd();
}

// Returns false for "expect none", which the caller handles.
bool ParseExpect(Line& l, int lineNo, Expectation* e, bool* none) {
    e->line = lineNo;
    std::string kind;
    if (!l.Word("cue kind", &kind)) return false;
    if (kind == "none") {
        *none = true;
        l.ExpectEnd();
        return false;
    }
    if (kind.size() > 1 && kind.back() == '*') {
        e->any = true;
        kind.pop_back();
    }
    if (!IsCueKind(kind)) {
        l.Fail("unknown cue kind '" + kind +
               "' (expected CarRight, CarLeft, Clear, ClearRight, ClearLeft, Middle, StillThere or none)");
        return false;
    }
    e->kind = kind;
    bool within = false;
    while (l.Ok() && !l.AtEnd()) {
        if (l.Take("at")) {
            l.NumberIn("cue time", 0, kMaxTime, &e->time);
            e->timed = true;
        } else if (l.Take("within")) {
            l.NumberIn("tolerance", 0, kMaxTime, &e->within);
            within = true;
        } else {
            std::string w;
            l.Word("", &w);
            bool known = false;
            for (const char* word : kWords) known = known || w == word;
            if (!known || !e->word.empty()) {
                l.Fail("unexpected '" + w +
                       "' (expected a recording's word: left, right, inside, outside, clear, middle, clearin, "
                       "clearout, clearleft, clearright, stillthere; or at TIME, within SECONDS)");
                return false;
            }
            e->word = w;
        }
    }
    if (within && !e->timed) l.Fail("'within' needs a time: at TIME within SECONDS");
    if (e->any && e->timed) l.Fail("a repeated cue (" + kind + "*) takes no time");
    if (!within) e->within = -1;  // the scenario's window, filled in at the end
    return l.Ok();
}

}  // namespace

bool ParseScenario(const std::string& text, const std::string& file, Scenario* out, std::vector<std::string>* errors) {
    *out = Scenario();
    out->file = file;
    errors->clear();
    auto fault = [&](int line, const std::string& message) {
        if (errors->size() < kMaxErrors) errors->push_back(file + ":" + std::to_string(line) + ": " + message);
    };

    std::vector<CarSpec> specs;
    bool haveEnd = false, haveOwn = false, haveTrack = false, haveRate = false, haveWindow = false;
    int noneLine = 0;
    int ownLine = 0;
    int lineNo = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        const std::string raw = text.substr(at, nl - at);
        at = nl + 1;
        ++lineNo;
        std::vector<Token> tokens;
        std::string tokenError;
        if (!Tokenize(raw, &tokens, &tokenError)) {
            fault(lineNo, tokenError);
            continue;
        }
        if (tokens.empty()) continue;
        const std::string directive = tokens[0].quoted ? std::string() : tokens[0].text;
        Line l(std::vector<Token>(tokens.begin() + 1, tokens.end()));
        auto once = [&](bool* seen, const char* what) {
            if (*seen) l.Fail(std::string("'") + what + "' given twice");
            *seen = true;
        };
        if (directive == "title") {
            out->title = l.Rest();
        } else if (directive == "track") {
            once(&haveTrack, "track");
            if (l.Word("track name (for example BL1 or KY1)", &out->track)) {
                if (out->track.empty() || out->track.size() > kMaxTrack)
                    l.Fail("track name must have 1 to 5 characters");
                l.ExpectEnd();
            }
        } else if (directive == "rate") {
            once(&haveRate, "rate");
            l.NumberIn("rate", 0.1, 100, &out->rate);
            l.ExpectEnd();
        } else if (directive == "end") {
            once(&haveEnd, "end");
            l.NumberIn("end time", 0.1, kMaxTime, &out->end);
            l.ExpectEnd();
        } else if (directive == "window") {
            once(&haveWindow, "window");
            l.NumberIn("window", 0, kMaxTime, &out->window);
            l.ExpectEnd();
        } else if (directive == "own") {
            once(&haveOwn, "own");
            ownLine = lineNo;
            long own = 0;
            l.Int("own car index", 0, kMaxScenarioCars - 1, &own);
            out->own = static_cast<int>(own);
            l.ExpectEnd();
        } else if (directive == "car") {
            CarSpec carSpec;
            ParseCar(l, lineNo, &carSpec);
            if (l.Ok()) specs.push_back(carSpec);
        } else if (directive == "at") {
            ScenarioEvent ev;
            ParseEvent(l, lineNo, &ev);
            if (l.Ok()) out->events.push_back(ev);
        } else if (directive == "expect") {
            Expectation e;
            bool none = false;
            if (ParseExpect(l, lineNo, &e, &none)) out->expectations.push_back(e);
            if (none && l.Ok()) {
                if (noneLine) l.Fail("'expect none' given twice");
                noneLine = lineNo;
                out->expectNone = true;
            }
        } else {
            l.Fail("unknown directive '" + tokens[0].text +
                   "' (expected title, track, rate, end, window, own, car, at or expect)");
        }
        if (!l.Ok()) fault(lineNo, l.Error());
    }

    // The cars, by index, without gaps.
    std::vector<const CarSpec*> byIndex(kMaxScenarioCars, nullptr);
    for (const CarSpec& carSpec : specs) {
        for (long i = carSpec.first; i <= carSpec.last; ++i) {
            if (byIndex[i]) {
                fault(carSpec.car.line, "car " + std::to_string(i) + " is already defined on line " +
                                         std::to_string(byIndex[i]->car.line));
                continue;
            }
            byIndex[i] = &carSpec;
        }
    }
    int count = 0;
    while (count < kMaxScenarioCars && byIndex[count]) ++count;
    for (int i = count; i < kMaxScenarioCars; ++i) {
        if (byIndex[i]) {
            fault(byIndex[i]->car.line, "cars must be numbered from 0 without gaps: car " + std::to_string(count) +
                                            " is missing");
            break;
        }
    }
    if (specs.empty()) fault(lineNo, "no cars: a scenario needs at least the own car (car 0 \"XF GTI\" at 0 0)");
    for (int i = 0; i < count; ++i) {
        const CarSpec& carSpec = *byIndex[i];
        ScenarioCar car = carSpec.car;
        car.index = i;
        const double k = static_cast<double>(i - carSpec.first);
        // Along/lateral for relative positions, x/y for absolute ones.
        car.x += k * carSpec.spacedAlong;
        car.y += k * carSpec.spacedLateral;
        if (car.name.empty()) car.name = "Driver " + std::to_string(i);
        else if (carSpec.first != carSpec.last) car.name += " " + std::to_string(i);
        if (car.name.size() > kMaxPlayerName) car.name.resize(kMaxPlayerName);
        if (i == out->own) {
            if (car.relative) fault(car.line, "the own car's position must be absolute: at X Y");
        } else if (!carSpec.positioned) {
            fault(car.line, "car " + std::to_string(i) + " needs a position: at X Y or rel ALONG LATERAL");
        }
        out->cars.push_back(car);
    }
    if (count > 0 && out->own >= count)
        fault(ownLine ? ownLine : lineNo, "the own car " + std::to_string(out->own) + " is not among the cars 0.." +
                          std::to_string(count - 1));

    // Events: known cars, within the scenario, in time order.
    double last = 0;
    for (const ScenarioEvent& ev : out->events) {
        if (ev.car >= count) fault(ev.line, "car " + std::to_string(ev.car) + " is not defined");
        last = std::max(last, ev.time + ev.duration);
    }
    if (!haveEnd) out->end = std::max(10.0, std::ceil(last) + 5);
    for (const ScenarioEvent& ev : out->events) {
        if (ev.time > out->end)
            fault(ev.line, "event at " + Fmt(ev.time) + " s comes after the end (" + Fmt(out->end) + " s)");
    }
    std::stable_sort(out->events.begin(), out->events.end(),
                     [](const ScenarioEvent& a, const ScenarioEvent& b) { return a.time < b.time; });

    if (noneLine && !out->expectations.empty())
        fault(noneLine, "'expect none' cannot stand beside other expect lines");
    for (Expectation& e : out->expectations) {
        if (e.within < 0) e.within = out->window;
        if (e.timed && e.time > out->end)
            fault(e.line, "cue time " + Fmt(e.time) + " s comes after the end (" + Fmt(out->end) + " s)");
    }
    return errors->empty();
}

bool LoadScenario(const std::string& path, Scenario* out, std::vector<std::string>* errors) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors->assign(1, path + ": cannot open the scenario file");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), path, out, errors);
}

}  // namespace sim
