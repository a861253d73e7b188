#include "PulseSnapshot.h"

#include <algorithm>
#include <set>

namespace quorel {

bool PulseSnapshot::isOwnSink(const QString& name)
{
    return name.startsWith(QLatin1String("local.quorel.aggregate"))
           || name.startsWith(QLatin1String("local.corvanta.aggregate"));
}

bool PulseSnapshot::isDummySink(const QString& name) { return name == QLatin1String("auto_null"); }

void PulseSnapshot::setServerDefault(const QString& name)
{
    serverDefault = name;
    if (!name.isEmpty() && isDevice(name)) rememberedReal = name;
}

const PulseSink* PulseSnapshot::sink(uint32_t index) const
{
    auto it = std::find_if(sinks.begin(), sinks.end(), [&](const PulseSink& s) { return s.index == index; });
    return it == sinks.end() ? nullptr : &*it;
}

const PulseSink* PulseSnapshot::sink(const QString& name) const
{
    if (name.isEmpty()) return nullptr;
    auto it = std::find_if(sinks.begin(), sinks.end(), [&](const PulseSink& s) { return s.name == name; });
    return it == sinks.end() ? nullptr : &*it;
}

const PulseSink* PulseSnapshot::defaultOutput() const
{
    if (isDevice(serverDefault))
        if (const PulseSink* s = sink(serverDefault)) return s;
    if (const PulseSink* s = sink(rememberedReal)) return s;
    if (isDevice(storedPrevious))
        if (const PulseSink* s = sink(storedPrevious)) return s;
    auto it = std::find_if(sinks.begin(), sinks.end(), [](const PulseSink& s) { return isDevice(s.name); });
    return it == sinks.end() ? nullptr : &*it;
}

bool PulseSnapshot::isRunning(uint32_t sink) const
{
    return std::any_of(inputs.begin(), inputs.end(),
                       [&](const PulseSinkInput& i) { return i.sink == sink && !i.corked; });
}

std::vector<PulseChange> PulseSnapshot::changes(const PulseSnapshot& before, const PulseSnapshot& after)
{
    std::vector<PulseChange> result;
    auto realSinks = [](const PulseSnapshot& s) {
        std::set<std::pair<uint32_t, QString>> set;
        for (const PulseSink& sink : s.sinks)
            if (isDevice(sink.name)) set.emplace(sink.index, sink.name);
        return set;
    };
    if (realSinks(before) != realSinks(after)) result.push_back({PulseChange::Kind::deviceList, 0});

    const PulseSink* oldDefault = before.defaultOutput();
    const PulseSink* newDefault = after.defaultOutput();
    const QString oldName = oldDefault ? oldDefault->name : QString();
    const QString newName = newDefault ? newDefault->name : QString();
    if (oldName != newName) result.push_back({PulseChange::Kind::defaultOutput, 0});

    for (const PulseSink& now : after.sinks) {
        const PulseSink* was = before.sink(now.index);
        if (!was || was->name != now.name) continue;
        if (!pa_cvolume_equal(&was->volume, &now.volume)) result.push_back({PulseChange::Kind::volume, now.index});
        if (was->muted != now.muted) result.push_back({PulseChange::Kind::mute, now.index});
        if (before.isRunning(now.index) != after.isRunning(now.index))
            result.push_back({PulseChange::Kind::running, now.index});
    }
    return result;
}

}  // namespace quorel
