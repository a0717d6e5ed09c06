// Car motion for scenarios: fixed small steps (so results do not depend on
// the MCI rate), ramps for speed, lane and heading changes, spins that turn
// the body but not the course, and the observer's account in words.
#include "sim/drive.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {

namespace {

const double kStep = 0.005;  // seconds
const double kPi = 3.14159265358979323846;

double Rad(double degrees) {
    return degrees * kPi / 180.0;
}

// Forward and left unit vectors of a course (0 = +y, counter-clockwise).
void Frame(double course, double* fx, double* fy, double* lx, double* ly) {
    const double r = Rad(course);
    *fx = -std::sin(r);
    *fy = std::cos(r);
    *lx = -std::cos(r);
    *ly = -std::sin(r);
}

// a - b folded into (-180, 180].
double AngleDiff(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    if (d > 180) d -= 360;
    if (d <= -180) d += 360;
    return d;
}

double Progress(double t, double t0, double t1) {
    if (t1 <= t0) return 1;
    if (t <= t0) return 0;
    if (t >= t1) return 1;
    return (t - t0) / (t1 - t0);
}

int32_t Coordinate(double metres) {
    const double v = std::round(metres * 65536.0);
    if (v > 2147483647.0) return 2147483647;
    if (v < -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(v);
}

std::string Num(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

struct ModelLengthRow {
    const char* name;
    float length;
};

// Flankguard's car model table.
const ModelLengthRow kModelLengths[] = {
    {"UNKNOWN", 8.4f}, {"XF GTI", 6.8f},    {"XR GT", 8.2f},      {"XR GT TURBO", 8.3f}, {"RB4 GT", 8.6f},
    {"FXO TURBO", 8.6f}, {"LX4", 6.4f},     {"LX6", 6.5f},        {"MRT5", 5.6f},        {"UF 1000", 5.8f},
    {"RA", 7.6f},      {"FX50", 8.4f},      {"FORMULA XR", 7.6f}, {"XF GTR", 6.6f},      {"UF GTR", 5.8f},
    {"FORMULA V8", 8.4f}, {"FXO GTR", 8.35f}, {"XR GTR", 8.35f},  {"FZ50 GTR", 8.35f},
};

}  // namespace

float ModelLength(const std::string& model) {
    for (const ModelLengthRow& row : kModelLengths)
        if (model == row.name) return row.length;
    return 8.4f;
}

Drive::Drive(const Scenario& scenario) : scenario_(scenario) {
    cars_.resize(scenario.cars.size());
    const ScenarioCar* own = nullptr;
    for (const ScenarioCar& c : scenario.cars)
        if (c.index == scenario.own) own = &c;
    CarNow base;
    if (own) {
        base.x = own->x;
        base.y = own->y;
        base.course = base.heading = own->hasHeading ? own->heading : 0;
        base.speed = own->hasSpeed ? own->speed : 0;
    }
    double fx, fy, lx, ly;
    Frame(base.course, &fx, &fy, &lx, &ly);
    for (const ScenarioCar& c : scenario.cars) {
        CarNow& car = cars_[static_cast<size_t>(c.index)];
        if (&c == own) {
            car = base;
            continue;
        }
        if (c.relative) {
            car.x = base.x + c.x * fx + c.y * lx;
            car.y = base.y + c.x * fy + c.y * ly;
        } else {
            car.x = c.x;
            car.y = c.y;
        }
        car.course = car.heading = c.hasHeading ? c.heading : base.heading;
        car.speed = c.hasSpeed ? c.speed : base.speed;
    }
}

std::vector<const ScenarioEvent*> Drive::AdvanceTo(double t) {
    std::vector<const ScenarioEvent*> begun;
    if (!started_) started_ = true;
    else if (t <= now_) return begun;
    while (nextEvent_ < scenario_.events.size() && scenario_.events[nextEvent_].time <= t) {
        const ScenarioEvent& ev = scenario_.events[nextEvent_++];
        Integrate(ev.time);
        Begin(ev);
        begun.push_back(&ev);
    }
    Integrate(t);
    return begun;
}

void Drive::Integrate(double to) {
    while (now_ < to) {
        const double dt = std::min(kStep, to - now_);
        if (dt <= 1e-12) {
            now_ = to;
            break;
        }
        Step(dt);
    }
}

void Drive::Step(double dt) {
    const double t0 = now_;
    const double t1 = now_ + dt;
    std::vector<double> v0(cars_.size()), v1(cars_.size()), lateral(cars_.size(), 0.0);
    std::vector<double> midCourse(cars_.size());
    for (size_t i = 0; i < cars_.size(); ++i) {
        v0[i] = v1[i] = cars_[i].speed;
        midCourse[i] = cars_[i].course;
    }
    for (CarNow& c : cars_) c.angVel = 0;
    for (const Ramp& r : ramps_) {
        CarNow& c = cars_[static_cast<size_t>(r.car)];
        const size_t i = static_cast<size_t>(r.car);
        switch (r.kind) {
        case EventKind::Speed:
        case EventKind::Pit:
            v0[i] = r.from + (r.to - r.from) * Progress(t0, r.t0, r.t1);
            v1[i] = r.from + (r.to - r.from) * Progress(t1, r.t0, r.t1);
            break;
        case EventKind::Lane:
            lateral[i] += r.value * (Progress(t1, r.t0, r.t1) - Progress(t0, r.t0, r.t1));
            break;
        case EventKind::Heading:
            midCourse[i] = r.from + (r.to - r.from) * Progress(0.5 * (t0 + t1), r.t0, r.t1);
            c.course = r.from + (r.to - r.from) * Progress(t1, r.t0, r.t1);
            c.heading = r.fromHeading + (r.toHeading - r.fromHeading) * Progress(t1, r.t0, r.t1);
            break;
        case EventKind::Spin: {
            const double active = std::min(t1, r.t1) - std::max(t0, r.t0);
            if (active > 0) c.heading += r.value * 360.0 / 16384.0 * active;
            if (t1 < r.t1 - 1e-9) c.angVel = static_cast<int>(r.value);
            break;
        }
        default:
            break;
        }
    }
    for (size_t i = 0; i < cars_.size(); ++i) {
        CarNow& c = cars_[i];
        // The course half way through the step: turns stay close to arcs.
        double fx, fy, lx, ly;
        Frame(midCourse[i], &fx, &fy, &lx, &ly);
        const double metres = (v0[i] + v1[i]) * 0.5 / 3.6 * dt;
        c.x += metres * fx + lateral[i] * lx;
        c.y += metres * fy + lateral[i] * ly;
        c.speed = v1[i];
    }
    now_ = t1;
    // Ramps that are over leave their final values behind.
    ramps_.erase(std::remove_if(ramps_.begin(), ramps_.end(), [&](const Ramp& r) { return r.t1 <= now_ + 1e-9; }),
                 ramps_.end());
}

void Drive::Cancel(int car, EventKind kind) {
    ramps_.erase(std::remove_if(ramps_.begin(), ramps_.end(),
                                [&](const Ramp& r) {
                                    const bool speedLike = kind == EventKind::Speed || kind == EventKind::Pit;
                                    const bool rSpeedLike = r.kind == EventKind::Speed || r.kind == EventKind::Pit;
                                    return r.car == car && (r.kind == kind || (speedLike && rSpeedLike));
                                }),
                 ramps_.end());
}

void Drive::Begin(const ScenarioEvent& ev) {
    if (ev.car < 0 || static_cast<size_t>(ev.car) >= cars_.size()) return;
    CarNow& c = cars_[static_cast<size_t>(ev.car)];
    const double t0 = ev.time;
    const double t1 = ev.time + ev.duration;
    switch (ev.kind) {
    case EventKind::Lane: {
        if (ev.duration <= 0) {
            double fx, fy, lx, ly;
            Frame(c.course, &fx, &fy, &lx, &ly);
            c.x += ev.value * lx;
            c.y += ev.value * ly;
        } else {
            ramps_.push_back({ev.car, ev.kind, t0, t1, 0, 1, 0, 0, ev.value});
        }
        break;
    }
    case EventKind::Speed:
    case EventKind::Pit:
        Cancel(ev.car, ev.kind);
        if (ev.duration <= 0) c.speed = ev.value;
        else ramps_.push_back({ev.car, ev.kind, t0, t1, c.speed, ev.value, 0, 0, 0});
        break;
    case EventKind::Heading: {
        Cancel(ev.car, ev.kind);
        const double course = c.course + AngleDiff(ev.value, c.course);
        const double heading = c.heading + AngleDiff(ev.value, c.heading);
        if (ev.duration <= 0) {
            c.course = course;
            c.heading = heading;
        } else {
            ramps_.push_back({ev.car, ev.kind, t0, t1, c.course, course, c.heading, heading, 0});
        }
        break;
    }
    case EventKind::Spin:
        Cancel(ev.car, ev.kind);
        if (ev.duration > 0) ramps_.push_back({ev.car, ev.kind, t0, t1, 0, 0, 0, 0, ev.value});
        break;
    case EventKind::Place: {
        if (ev.relative) {
            const CarNow& own = cars_[static_cast<size_t>(scenario_.own)];
            double fx, fy, lx, ly;
            Frame(own.course, &fx, &fy, &lx, &ly);
            const double ox = own.x, oy = own.y;
            c.x = ox + ev.x * fx + ev.y * lx;
            c.y = oy + ev.x * fy + ev.y * ly;
        } else {
            c.x = ev.x;
            c.y = ev.y;
        }
        if (ev.hasSpeed) {
            Cancel(ev.car, EventKind::Speed);
            c.speed = ev.speed;
        }
        if (ev.hasHeading) {
            Cancel(ev.car, EventKind::Heading);
            Cancel(ev.car, EventKind::Spin);
            c.course = c.heading = ev.heading;
        }
        break;
    }
    default:
        break;
    }
}

std::vector<CarRecord> Drive::Records() const {
    std::vector<CarRecord> out(cars_.size());
    for (size_t i = 0; i < cars_.size(); ++i) {
        const CarNow& c = cars_[i];
        out[i].x = Coordinate(c.x);
        out[i].y = Coordinate(c.y);
        out[i].speed = static_cast<uint16_t>(SpeedUnits(c.speed));
        out[i].direction = static_cast<uint16_t>(AngleUnits(c.course));
        out[i].heading = static_cast<uint16_t>(AngleUnits(c.heading));
        out[i].angVel = static_cast<int16_t>(std::max(-32768, std::min(32767, c.angVel)));
    }
    return out;
}

std::string CarLabel(const Scenario& scenario, int car) {
    if (car == scenario.own) return "own car";
    return "car " + std::to_string(car);
}

std::string DescribeEvent(const Scenario& scenario, const ScenarioEvent& ev) {
    const std::string who = CarLabel(scenario, ev.car);
    const std::string over = ev.duration > 0 ? " over " + Num(ev.duration) + " s" : "";
    switch (ev.kind) {
    case EventKind::Lane:
        return who + " moves " + Num(std::fabs(ev.value)) + " m to the " + (ev.value >= 0 ? "left" : "right") + over;
    case EventKind::Speed:
        return who + (ev.brake ? " brakes to " : " changes speed to ") + Num(ev.value) + " km/h" + over;
    case EventKind::Heading:
        return who + " turns to heading " + Num(ev.value) + over;
    case EventKind::Spin:
        return who + " spins (angVel " + Num(ev.value) + ") for " + Num(ev.duration) + " s";
    case EventKind::Pit:
        return who + " enters the pit lane, slowing to " + Num(ev.value) + " km/h" + over;
    case EventKind::Place: {
        std::string s = who + " is put ";
        if (ev.relative) {
            s += Num(std::fabs(ev.x)) + " m " + (ev.x >= 0 ? "ahead of" : "behind") + " and " + Num(std::fabs(ev.y)) +
                 " m " + (ev.y >= 0 ? "left of" : "right of") + " the own car";
        } else {
            s += "at (" + Num(ev.x) + ", " + Num(ev.y) + ")";
        }
        if (ev.hasSpeed) s += ", " + Num(ev.speed) + " km/h";
        if (ev.hasHeading) s += ", heading " + Num(ev.heading);
        return s;
    }
    case EventKind::Restart:
        return "race restart (RST): Flankguard should reconnect";
    case EventKind::Packet:
        return "sends " + ev.packetId + ", which Flankguard must acknowledge";
    }
    return "?";
}

Observer::Observer(const Scenario& scenario) : scenario_(scenario) {
    side_.assign(scenario.cars.size(), kNone);
    quiet_.assign(scenario.cars.size(), kNone);
    for (const ScenarioCar& c : scenario.cars) length_.push_back(ModelLength(c.model));
}

std::vector<std::string> Observer::Update(const std::vector<CarNow>& cars) {
    std::vector<std::string> lines;
    const size_t own = static_cast<size_t>(scenario_.own);
    if (own >= cars.size()) return lines;
    // Every car 400 ms ahead along its course, as Flankguard predicts.
    auto predicted = [&](const CarNow& c, double* x, double* y) {
        double fx, fy, lx, ly;
        Frame(c.course, &fx, &fy, &lx, &ly);
        *x = c.x + c.speed / 3.6 * 0.4 * fx;
        *y = c.y + c.speed / 3.6 * 0.4 * fy;
    };
    const CarNow& me = cars[own];
    int reason = 0;
    if (me.speed < 25 && !anyAlongside_) reason = 1;
    else if (me.angVel > 2500 || me.angVel < -2500) reason = 2;
    if (reason != offReason_) {
        char buf[160];
        if (reason == 1)
            snprintf(buf, sizeof buf, "own car at %.0f km/h, below 25 km/h: Flankguard does not spot", me.speed);
        else if (reason == 2)
            snprintf(buf, sizeof buf, "own car spinning (angVel %d): Flankguard ignores the field and forgets its sides",
                     me.angVel);
        else if (offReason_ == 1)
            snprintf(buf, sizeof buf, "own car at %.0f km/h: Flankguard spots again", me.speed);
        else
            snprintf(buf, sizeof buf, "own car no longer spinning: Flankguard spots again");
        lines.push_back(buf);
        offReason_ = reason;
    }
    if (reason == 2) {
        side_.assign(side_.size(), kNone);
        quiet_.assign(quiet_.size(), kNone);
        anyAlongside_ = false;
        return lines;
    }
    double ox, oy;
    predicted(me, &ox, &oy);
    double fx, fy, lx, ly;
    Frame(me.heading, &fx, &fy, &lx, &ly);
    bool any = false;
    for (size_t i = 0; i < cars.size() && i < side_.size(); ++i) {
        if (i == own) continue;
        const CarNow& c = cars[i];
        double cx, cy;
        predicted(c, &cx, &cy);
        const double along = (cx - ox) * fx + (cy - oy) * fy;      // + ahead
        const double lateral = (cx - ox) * lx + (cy - oy) * ly;    // + left
        const double limit = (length_[own] + length_[i]) * 0.25;
        std::string why;
        Side side = kNone;
        if (std::fabs(AngleDiff(me.heading, c.heading)) > 30) why = "its heading differs by more than 30 degrees";
        else if (std::fabs(me.speed - c.speed) > 75) why = "its speed differs by more than 75 km/h";
        else if (along >= limit) why = "clear ahead";
        else if (along <= -limit) why = "clear behind";
        else if (std::fabs(lateral) >= 23) why = "more than 23 m to the side";
        else if (std::fabs(lateral) <= 1.3) why = "straight ahead or behind, within 1.3 m of the centre line";
        else side = lateral > 0 ? kLeft : kRight;
        const std::string who = CarLabel(scenario_, static_cast<int>(i));
        if (reason == 1) {
            // Too slow to spot: say where the car is all the same.
            if (side == quiet_[i]) continue;
            if (side == kNone) lines.push_back(who + " is no longer beside the own car");
            else lines.push_back(who + " is beside the own car on the " + (side == kLeft ? "left" : "right") +
                                 ", not spotted");
            quiet_[i] = side;
            continue;
        }
        any = any || side != kNone;
        if (side == side_[i]) continue;
        if (side == kLeft && side_[i] == kNone) lines.push_back(who + " draws alongside on the left");
        else if (side == kRight && side_[i] == kNone) lines.push_back(who + " draws alongside on the right");
        else if (side == kLeft) lines.push_back(who + " crosses over to the left");
        else if (side == kRight) lines.push_back(who + " crosses over to the right");
        else lines.push_back(who + " is no longer alongside: " + why);
        side_[i] = side;
    }
    if (reason == 1) side_.assign(side_.size(), kNone);
    else quiet_.assign(quiet_.size(), kNone);
    anyAlongside_ = any;
    return lines;
}

}  // namespace sim
