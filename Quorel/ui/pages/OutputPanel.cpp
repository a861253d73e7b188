#include "OutputPanel.h"

#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelFormat.h"
#include "PanelHeading.h"
#include "PanelWidgets.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"
#include "StudioSlider.h"
#include "Symbols.h"
#include "SystemModel.h"
#include "SystemVolumeController.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace quorel {

using PanelWidgets::label;

namespace {

// The device symbol over a soft violet radial glow, 80 x 66.
class DeviceSymbol : public SymbolView {
public:
    explicit DeviceSymbol(QWidget* parent) : SymbolView(QStringLiteral("hifispeaker"), 31, Studio::text(), parent)
    {
        setFixedSize(80, 66);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect()).center();
        QRadialGradient glow(centre, 58);
        glow.setColorAt(1.0 / 58, Studio::withOpacity(Studio::violet(), 0.16));
        glow.setColorAt(1, Studio::withOpacity(Studio::violet(), 0));
        p.fillRect(rect(), glow);
        // Ultra-light: the outline drawing at 31 px in the primary text colour.
        Symbols::draw(p, name(), QRectF(centre.x() - 15.5, centre.y() - 15.5, 31, 31), colour());
    }
};

}  // namespace

OutputPanel::OutputPanel(SystemModel& system, SystemVolumeController* volume, QWidget* parent)
    : QWidget(parent), system_(system), volume_(volume)
{
    StudioPanel* card = StudioPanel::filling(this);
    card->contentLayout()->setSpacing(18);
    heading_ = new PanelHeading(QString(), QStringLiteral("hifispeaker"), std::nullopt, card);
    card->contentLayout()->addWidget(heading_);

    auto* row = new QHBoxLayout;
    row->setSpacing(26);

    // Device column.
    auto* deviceColumn = new QWidget(card);
    deviceColumn->setFixedWidth(224);  // the picker holds "Dispositivo desconectado" whole
    auto* device = new QVBoxLayout(deviceColumn);
    device->setContentsMargins(0, 0, 0, 0);
    device->setSpacing(10);
    symbol_ = new DeviceSymbol(deviceColumn);
    device->addWidget(symbol_, 0, Qt::AlignHCenter);
    name_ = label(14, QFont::DemiBold, Studio::text(), deviceColumn);
    name_->setAlignment(Qt::AlignHCenter);
    name_->setWordWrap(true);
    name_->setMaximumHeight(QFontMetrics(name_->font()).lineSpacing() * 2 + 2);
    device->addWidget(name_);
    source_ = label(11, QFont::Normal, Studio::secondary(), deviceColumn);
    source_->setAlignment(Qt::AlignHCenter);
    device->addWidget(source_);
    picker_ = new QComboBox(deviceColumn);
    picker_->setFixedWidth(214);
    device->addWidget(picker_, 0, Qt::AlignHCenter);
    restart_ = new StudioButton(QString(), true, deviceColumn);
    device->addWidget(restart_, 0, Qt::AlignHCenter);
    capturing_ = label(10, QFont::Normal, Studio::withOpacity(Studio::secondary(), 0.8), deviceColumn);
    capturing_->setAlignment(Qt::AlignHCenter);
    capturing_->setWordWrap(true);
    device->addWidget(capturing_);
    row->addWidget(deviceColumn, 0, Qt::AlignVCenter);
    connect(picker_, &QComboBox::activated, this, &OutputPanel::pick);
    connect(restart_, &QAbstractButton::clicked, this, [this] { system_.restartAudioService(); });

    auto* dividerBox = new QVBoxLayout;
    dividerBox->setContentsMargins(0, 4, 0, 4);
    dividerBox->addWidget(PanelWidgets::hairline(Qt::Vertical, card));
    row->addLayout(dividerBox);

    // Volume column: centred beside the taller device column.
    auto* volumeBox = new QWidget(card);
    auto* volumeColumn = new QVBoxLayout(volumeBox);
    volumeColumn->setContentsMargins(0, 0, 0, 0);
    volumeColumn->setSpacing(8);
    auto* header = new QHBoxLayout;
    volumeTitle_ = label(11, QFont::Normal, Studio::secondary(), card);
    header->addWidget(volumeTitle_);
    header->addStretch(1);
    volumeValue_ = label(13, QFont::DemiBold, Studio::text(), card);
    header->addWidget(volumeValue_);
    volumeColumn->addLayout(header);
    slider_ = new StudioSlider(Qt::Horizontal, card);
    slider_->setValueRange(0, 1);
    slider_->setStep(0);
    slider_->setCyan(true);
    slider_->setUnit(QStringLiteral("%"));
    slider_->setFixedHeight(22);
    volumeColumn->addWidget(slider_);
    auto* footer = new QHBoxLayout;
    footer->addWidget(new SymbolView(QStringLiteral("speaker.wave.1"), 10, Studio::secondary(), card), 0,
                      Qt::AlignVCenter);
    hint_ = label(10, QFont::Normal, Studio::secondary(), card);
    footer->addWidget(hint_);
    footer->addStretch(1);
    maximum_ = PanelWidgets::textButton(10, QFont::Medium, Studio::cyan(), card);
    footer->addWidget(maximum_);
    volumeColumn->addLayout(footer);
    row->addWidget(volumeBox, 1, Qt::AlignVCenter);
    card->contentLayout()->addLayout(row);

    connect(slider_, &StudioSlider::valueEdited, this, [this](float value) {
        if (volume_) volume_->set(value);
    });
    connect(maximum_, &QPushButton::clicked, this, [this] {
        if (volume_) volume_->set(1.0f);
    });

    connect(&system_, &SystemModel::outputDevicesChanged, this, &OutputPanel::refresh);
    connect(&system_, &SystemModel::outputDeviceChanged, this, &OutputPanel::refresh);
    connect(&system_, &SystemModel::activeChanged, this, &OutputPanel::refresh);
    connect(&system_, &SystemModel::flagsChanged, this, &OutputPanel::refresh);
    connect(&system_, &SystemModel::infoChanged, this, &OutputPanel::refresh);
    if (volume_) connect(volume_, &SystemVolumeController::changed, this, &OutputPanel::refresh);
    LanguageBinding::follow(this, &OutputPanel::refresh);
    refresh();
}

void OutputPanel::refreshPicker()
{
    const AppLanguage language = L10n::language();
    QList<std::pair<QString, QString>> entries{{L10n::text(QStringLiteral("System default"), language), QString()}};
    const std::optional<QString>& chosen = system_.outputDeviceUID();
    bool listed = false;
    for (const AudioDevices::OutputDevice& device : system_.outputDevices()) {
        QString text = device.name;
        if (device.isDefault) text += L10n::text(QStringLiteral(" (default)"), language);
        entries.append({text, device.uid});
        listed = listed || (chosen && device.uid == *chosen);
    }
    if (chosen && !listed) entries.append({L10n::text(QStringLiteral("Device disconnected"), language), *chosen});

    // Rebuilt only when the entries differ, so an open list stays open on a volume change; and
    // never as a choice of the user's (activated alone writes).
    const QSignalBlocker blocker(picker_);
    bool same = picker_->count() == entries.size();
    for (int i = 0; same && i < entries.size(); ++i)
        same = picker_->itemText(i) == entries[i].first && picker_->itemData(i).toString() == entries[i].second;
    if (!same) {
        picker_->clear();
        for (const auto& [text, uid] : entries) picker_->addItem(text, uid);
    }
    const int index = picker_->findData(chosen.value_or(QString()));
    picker_->setCurrentIndex(std::max(index, 0));
}

void OutputPanel::pick(int index)
{
    const QString uid = picker_->itemData(index).toString();
    system_.setOutputDevice(uid.isEmpty() ? std::nullopt : std::optional<QString>(uid));
}

void OutputPanel::refresh()
{
    const AppLanguage language = L10n::language();
    heading_->setTitle(L10n::text(QStringLiteral("Audio output"), language));

    // A chosen device that is gone while the volume control follows no device (not even the
    // default output that now plays): the card says so and offers no volume control until a
    // device is chosen or comes back.
    const std::optional<QString>& chosen = system_.outputDeviceUID();
    const std::vector<AudioDevices::OutputDevice>& devices = system_.outputDevices();
    const bool disconnected = chosen
                              && std::none_of(devices.begin(), devices.end(),
                                              [&](const AudioDevices::OutputDevice& d) { return d.uid == *chosen; })
                              && (!volume_ || volume_->device() == AudioDevices::noDevice);

    const QString name = disconnected ? L10n::text(QStringLiteral("Device disconnected"), language)
                         : volume_    ? volume_->deviceName()
                                      : QString();
    symbol_->setName(PanelFormat::deviceSymbol(name));
    name_->setText(name);
    source_->setText(system_.outputDeviceUID()
                         ? L10n::text(QStringLiteral("Output selected in {0}"), language, QStringLiteral("Quorel"))
                         : L10n::text(QStringLiteral("System default output"), language));
    refreshPicker();
    picker_->setToolTip(L10n::text(
        QStringLiteral("Where processed audio goes. Audio from apps is still captured from the default output."),
        language));
    picker_->setAccessibleName(L10n::text(QStringLiteral("Output"), language));

    const bool restarting = system_.restartingAudioService();
    restart_->setVisible(PanelFormat::restartShown(system_.isActive(), system_.canRestartAudioService(), restarting));
    restart_->setText(restarting ? L10n::text(QStringLiteral("Restarting…"), language)
                                 : L10n::text(QStringLiteral("Restart audio service"), language));
    restart_->setEnabled(!restarting);
    restart_->setToolTip(
        L10n::text(QStringLiteral("Restarts the sound server (PipeWire), then restarts processing"), language));

    const std::optional<SystemBoostEngine::Info>& info = system_.info();
    const bool capturing = info && info->capturedDeviceName;
    capturing_->setVisible(capturing);
    if (capturing)
        capturing_->setText(L10n::text(QStringLiteral("Capturing from: {0}"), language, *info->capturedDeviceName));

    const bool supports = !disconnected && volume_ && volume_->supportsVolume();
    const float level = volume_ ? volume_->volume() : 0;
    const bool muted = volume_ && volume_->isMuted();
    volumeTitle_->setText(L10n::text(QStringLiteral("System volume"), language));
    volumeValue_->setText(disconnected ? QString() : PanelFormat::volumeText(level, muted, language));
    slider_->setValue(level);
    slider_->setEnabled(supports);
    slider_->setLabel(L10n::text(QStringLiteral("System volume"), language));
    hint_->setText(supports ? L10n::text(QStringLiteral("The same control as the volume keys."), language)
                            : L10n::text(QStringLiteral("Adjust the volume on your device."), language));
    maximum_->setText(L10n::text(QStringLiteral("Maximum"), language));
    maximum_->setEnabled(PanelFormat::maximumEnabled(supports, level, muted));
    maximum_->setToolTip(L10n::text(QStringLiteral("Set the system volume to 100% · Ctrl+Shift+M"), language));
}

}  // namespace quorel
