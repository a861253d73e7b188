#include "UserNames.h"

namespace quorel::userNames {

bool same(const QString& a, const QString& b)
{
    return a.normalized(QString::NormalizationForm_C)
               .compare(b.normalized(QString::NormalizationForm_C), Qt::CaseInsensitive)
           == 0;
}

}  // namespace quorel::userNames
