// PredictPositions: each car moved ahead in place, in coordinate units
// (1/65536 m), by prediction ms at its reported speed.
#include "spotter/prediction.h"

#include <cmath>

#include "config/settings.h"
#include "spotter/player_table.h"
#include "spotter/trig.h"

void PredictPositions(int32_t carCount) {
    const int count = carCount > kPlayerSlots ? kPlayerSlots : carCount;
    for (int i = 0; i < count; ++i) {
        CarInfo& car = PlayerTable[i].car;
        const double a = AngleDegrees(car.direction);
        // speed * 200 units a second, for prediction ms; the product is
        // formed left to right and kept as a float.
        const float d = static_cast<float>(static_cast<double>(Settings.prediction) *
                                           static_cast<double>(0.001f) * static_cast<double>(car.speed) *
                                           static_cast<double>(200.0f));
        const double r = a * 0.0174532925;
        car.x = WrapAdd32(car.x, TruncLow32(PortableSin(r) * static_cast<double>(d)));
        car.y = WrapAdd32(car.y, TruncLow32(PortableCos(r) * static_cast<double>(d)));
    }
}
