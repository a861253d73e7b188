#pragma once

#include "AppLanguage.h"

#include <QString>
#include <QStringList>

namespace quorel {

// Text lookup by English key with "{0}"-style placeholders, and number formatting.
// Callable from any thread (never from the real-time thread); never throws.
namespace L10n {

// The language saved in the standard settings store, read afresh at every call.
AppLanguage language();

// Looks `key` up in `language`'s table (then English, then the key itself) and fills the
// numbered placeholders from `arguments` in one left-to-right pass.
QString render(const QString& key, const QStringList& arguments, AppLanguage language);

// The same with the arguments given one by one.
template <typename... Args>
QString text(const QString& key, AppLanguage language, const Args&... arguments)
{
    return render(key, QStringList{QString(arguments)...}, language);
}

// "%.*f" of `value` in the C locale, then the language's decimal separator; no grouping.
QString number(float value, int digits, AppLanguage language);

}  // namespace L10n
}  // namespace quorel
