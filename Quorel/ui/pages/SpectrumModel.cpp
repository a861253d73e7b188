#include "SpectrumModel.h"

#include "DSPSettings.h"
#include "SystemModel.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace quorel {

SpectrumModel::SpectrumModel(QObject* parent)
    : QObject(parent), input_(DSPSettings::frequencies.size(), floorDB),
      output_(DSPSettings::frequencies.size(), floorDB)
{
}

void SpectrumModel::start(SystemModel* system)
{
    if (system_.data() != system) {
        if (system_) system_->setSpectrumWanted(false);
        if (system_) disconnect(system_.data(), nullptr, this, nullptr);
        system_ = system;
        if (system) connect(system, &SystemModel::activeChanged, this, &SpectrumModel::follow);
    }
    started_ = true;
    if (system) system->setSpectrumWanted(true);
    follow();
}

void SpectrumModel::stop()
{
    started_ = false;
    if (system_) system_->setSpectrumWanted(false);
    follow();
}

SpectrumModel::~SpectrumModel()
{
    if (started_ && system_) system_->setSpectrumWanted(false);
}

void SpectrumModel::follow()
{
    const bool poll = started_ && system_ && system_->isActive();
    if (poll && !timer_) {
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(intervalMS);
        connect(timer_, &QTimer::timeout, this, &SpectrumModel::tick);
        timer_->start();
    } else if (!poll && timer_) {
        timer_->stop();
        timer_->deleteLater();
        timer_ = nullptr;
    }
    if (!poll) setLive(false);
}

void SpectrumModel::tick()
{
    SystemModel* system = system_.data();
    if (system && system->isActive()) {
        const std::optional<SpectrumReading> reading = system->spectrum();
        if (reading && reading->available) {
            input_ = smooth(input_, reading->input);
            output_ = smooth(output_, reading->output);
            live_ = true;
            emit changed();
            return;
        }
    }
    setLive(false);
}

void SpectrumModel::setLive(bool live)
{
    if (live_ == live) return;
    live_ = live;
    emit changed();
}

float SpectrumModel::decibels(float level)
{
    if (!(level > 0) || !std::isfinite(level)) return floorDB;
    return std::max(20 * std::log10(level), floorDB);
}

std::vector<float> SpectrumModel::smooth(const std::vector<float>& previous, const std::vector<float>& levels)
{
    const size_t count = std::min(previous.size(), levels.size());
    std::vector<float> result(count);
    for (size_t i = 0; i < count; ++i) result[i] = std::max(decibels(levels[i]), previous[i] - fallPerTick);
    return result;
}

}  // namespace quorel
