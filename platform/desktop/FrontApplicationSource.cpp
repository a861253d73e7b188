#include "FrontApplicationSource.h"

namespace quorel {

FrontApplicationSource::~FrontApplicationSource() = default;

}  // namespace quorel
