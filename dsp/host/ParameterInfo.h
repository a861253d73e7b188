#pragma once

#include <cstdint>
#include <string>

namespace quorel {

// Unit codes of a parameter's value, as audio-unit hosts number them.
namespace parameterUnit {
inline constexpr uint32_t generic = 0;
inline constexpr uint32_t indexed = 1;
inline constexpr uint32_t boolean = 2;
inline constexpr uint32_t percent = 3;
inline constexpr uint32_t seconds = 4;
inline constexpr uint32_t hertz = 8;
inline constexpr uint32_t decibels = 13;
inline constexpr uint32_t linearGain = 14;
inline constexpr uint32_t octaves = 21;
inline constexpr uint32_t milliseconds = 24;
inline constexpr uint32_t ratio = 25;
inline constexpr uint32_t customUnit = 26;
}  // namespace parameterUnit

namespace parameterFlags {
inline constexpr uint32_t isReadable = 1u << 30;
inline constexpr uint32_t isWritable = 1u << 31;
}  // namespace parameterFlags

// One row of a unit's parameter-info table.
struct ParameterInfo {
    uint32_t id = 0;
    std::string name;
    float minValue = 0;
    float maxValue = 0;
    float defaultValue = 0;
    uint32_t unit = parameterUnit::generic;
    uint32_t flags = parameterFlags::isReadable | parameterFlags::isWritable;
};

}  // namespace quorel
