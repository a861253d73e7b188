#include "PresetPicker.h"

#include "PresetLibrary.h"

#include <QStandardItemModel>

namespace quorel {

namespace {
constexpr int titleRole = Qt::UserRole + 1;
}

PresetPicker::PresetPicker(QWidget* parent) : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QVariant id = itemData(index);
        if (id.isValid() && !itemData(index, titleRole).toBool()) emit presetChosen(id.toString());
    });
}

void PresetPicker::rebuild(const PresetLibrary& library, AppLanguage language, const QString& currentID)
{
    const QSignalBlocker blocker(this);
    clear();
    auto* items = qobject_cast<QStandardItemModel*>(model());
    for (PresetCategory category : presetCategory::allCases) {
        const std::vector<SoundPreset> presets = library.presets(category);
        if (presets.empty()) continue;
        addItem(presetCategory::title(category, language));
        const int title = count() - 1;
        setItemData(title, true, titleRole);
        if (QStandardItem* item = items ? items->item(title) : nullptr) {
            item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
            QFont font = item->font();
            font.setBold(true);
            item->setFont(font);
        }
        for (const SoundPreset& preset : presets) addItem(preset.localizedName(language), preset.id);
    }
    setCurrentID(currentID);
}

void PresetPicker::setCurrentID(const QString& id)
{
    const QSignalBlocker blocker(this);
    int found = -1;
    for (int i = 0; i < count(); ++i)
        if (!itemData(i, titleRole).toBool() && itemData(i).toString() == id) {
            found = i;
            break;
        }
    setCurrentIndex(found);
}

std::optional<QString> PresetPicker::currentID() const
{
    if (currentIndex() < 0 || itemData(currentIndex(), titleRole).toBool()) return std::nullopt;
    return itemData(currentIndex()).toString();
}

QStringList PresetPicker::ids() const
{
    QStringList result;
    for (int i = 0; i < count(); ++i)
        if (!itemData(i, titleRole).toBool()) result << itemData(i).toString();
    return result;
}

QStringList PresetPicker::titles() const
{
    QStringList result;
    for (int i = 0; i < count(); ++i)
        if (itemData(i, titleRole).toBool()) result << itemText(i);
    return result;
}

}  // namespace quorel
