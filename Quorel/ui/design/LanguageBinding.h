#pragma once

#include "LocalizationModel.h"

#include <QObject>

namespace quorel {

// The one road by which a view re-reads its texts: `refresh` runs on `owner` after every change
// of the application's language, for as long as `owner` lives. The owner renders its texts once
// itself when it is built.
namespace LanguageBinding {

template <typename Owner, typename Refresh>
QMetaObject::Connection follow(Owner* owner, Refresh refresh)
{
    return QObject::connect(&LocalizationModel::shared(), &LocalizationModel::languageChanged, owner, refresh);
}

}  // namespace LanguageBinding

}  // namespace quorel
