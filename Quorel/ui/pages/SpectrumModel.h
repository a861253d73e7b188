#pragma once

#include <QObject>
#include "SystemModel.h"

#include <QPointer>

#include <vector>

class QTimer;

namespace quorel {

class SystemModel;

// The live spectrum behind the equalizer's faders: while started it asks the system model for
// the spectrum (the chain analyses only then) and, while processing is on, polls it 30 times a
// second and keeps smoothed band levels in dB (a louder level shows at once, a quieter one falls
// by at most 1.3 dB per tick, nothing below -120). Owned by the equalizer card; main thread only.
class SpectrumModel : public QObject {
    Q_OBJECT
public:
    static constexpr int intervalMS = 33;  // 1/30 s
    static constexpr float floorDB = -120;
    static constexpr float fallPerTick = 1.3f;

    explicit SpectrumModel(QObject* parent = nullptr);
    ~SpectrumModel() override;

    const std::vector<float>& input() const { return input_; }
    const std::vector<float>& output() const { return output_; }
    bool live() const { return live_; }
    bool isPolling() const { return timer_ != nullptr; }
    SystemModel* system() const { return system_.data(); }

    // Remembers `system` (weakly), asks it for the spectrum and polls every 1/30 s while its
    // processing is on.
    void start(SystemModel* system);
    // Ends the poll and the request and turns `live` off; the smoothed values stay for the next
    // start.
    void stop();
    // One poll (the timer's step; public for tests).
    void tick();

    // Pairs previous dB values with new linear levels, as many as the shorter list holds.
    static std::vector<float> smooth(const std::vector<float>& previous, const std::vector<float>& levels);
    // A linear level in dB: 20 log10, at least -120; zero, negative or not finite gives -120.
    static float decibels(float level);

signals:
    // Every live tick (also when nothing changed) and every change of `live`.
    void changed();

private:
    void setLive(bool live);
    // Runs the poll exactly while started with processing on.
    void follow();

    std::vector<float> input_;
    std::vector<float> output_;
    bool live_ = false;
    bool started_ = false;
    QTimer* timer_ = nullptr;
    QPointer<SystemModel> system_;
};

}  // namespace quorel
