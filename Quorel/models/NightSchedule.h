#pragma once

#include <QString>

#include <cstdint>

namespace quorel {

// A daily window, in minutes after local midnight, during which `presetID` is applied.
struct NightSchedule {
    bool enabled = false;
    int64_t startMinutes = 1320;  // 22:00
    int64_t endMinutes = 420;     // 07:00
    QString presetID = QStringLiteral("builtin.movies-night");

    // Whether the window is open at `minutes` after midnight. An end before the start crosses
    // midnight; equal ends never open. Values outside a day are compared as they stand.
    bool isOpen(int64_t minutes) const
    {
        if (endMinutes >= startMinutes) return startMinutes <= minutes && minutes < endMinutes;
        return minutes >= startMinutes || minutes < endMinutes;
    }

    bool operator==(const NightSchedule&) const = default;
};

}  // namespace quorel
